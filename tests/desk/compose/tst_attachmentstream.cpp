#include "compose/AttachmentStream.h"
#include "compose/Windows1252.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

namespace {

const QString formatError = QStringLiteral("Error: Decoded data format is incorrect!");

QByteArray randomBytes(quint32 seed, qsizetype size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray allByteValues()
{
    QByteArray bytes(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

QByteArray compose(const AttachmentHeader &header, const QByteArray &file)
{
    QBuffer source;
    source.setData(file);
    source.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const Outcome written = AttachmentStream::writeEntry(header, source, out);
    if (!written)
        qWarning() << "writeEntry failed:" << written.error();
    return written ? out.data() : QByteArray();
}

struct Received {
    std::optional<AttachmentHeader> header;
    bool dataRead = false;
    QByteArray data;
    QString error;
    bool more = false;
    bool uncertain = false;
};

Received receive(const QByteArray &entry)
{
    QBuffer in;
    in.setData(entry);
    in.open(QIODevice::ReadOnly);
    AttachmentStream::Reader reader(in);
    Received received;
    const Result<AttachmentHeader> header = reader.readHeader();
    received.error = header.error();
    if (header) {
        received.header = *header;
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const Outcome read = reader.readData(out);
        received.dataRead = read.ok();
        received.error = read.error();
        received.data = out.data();
    }
    received.more = reader.hasMoreEntries();
    received.uncertain = reader.endIsUncertain();
    return received;
}

QStringList fieldsOf(const AttachmentHeader &header)
{
    return {header.message, header.subject, header.to, header.from, header.fileName};
}

AttachmentHeader headerOf(const QStringList &fields)
{
    return {fields[0], fields[1], fields[2], fields[3], fields[4]};
}

// Runs a tool with `input` on its standard input; a null result when the
// tool is not there.
QByteArray runTool(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << process.readAllStandardError();
        return {};
    }
    QByteArray output = process.readAllStandardOutput();
    if (output.isNull())
        output = "";
    return output;
}

// The record as bytes of the code page, for entries built by hand.
QByteArray entryOf(const QByteArray &record)
{
    return record.toBase64() + "\r\n";
}

const QStringList plainHeader{"Your Message: Hi", "Subject: test", "TO: DL1ABC", "From: K7X", "data.bin"};

// A source read once from front to back, as a pipe or a socket is.
class Stream : public QIODevice
{
public:
    explicit Stream(QByteArray bytes) : m_bytes(std::move(bytes)) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_at + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, qint64(m_bytes.size()) - m_at);
        std::copy_n(m_bytes.constData() + m_at, n, data);
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

} // namespace

class TestAttachmentStream : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("file");
        QTest::addRow("one byte") << plainHeader << QByteArray("x");
        QTest::addRow("a NUL byte") << plainHeader << QByteArray(1, '\0');
        QTest::addRow("all 256 byte values") << plainHeader << allByteValues();
        QTest::addRow("empty file") << plainHeader << QByteArray("");
        QTest::addRow("1 MB random") << plainHeader << randomBytes(1, 1024 * 1024);
        QTest::addRow("beyond the read buffers") << plainHeader << randomBytes(2, 3 * 1024 * 1024 + 7);
        QTest::addRow("empty texts") << QStringList{"", "", "", "", "a"} << QByteArray("abc");
        QTest::addRow("code page texts")
            << QStringList{"Gr\u00fc\u00dfe \u20ac 5\r\nZeile 2", "Subject: \u00e9t\u00e9", "TO:", "From:",
                           "\u00e4\u00f6.txt"}
            << allByteValues();
        QTest::addRow("header longer than a read buffer")
            << QStringList{"m", QString(2'500'000, u's'), "t", "f", "n"} << QByteArray("tail");
    }
    void roundTrip()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, file);
        const QByteArray entry = compose(headerOf(fields), file);
        QVERIFY(entry.endsWith("\r\n"));
        QVERIFY(!entry.chopped(2).contains('\r'));
        const Received received = receive(entry);
        QVERIFY2(received.header, qPrintable(received.error));
        QCOMPARE(fieldsOf(*received.header), fields);
        QVERIFY2(received.dataRead, qPrintable(received.error));
        QCOMPARE(received.data.size(), file.size());
        QCOMPARE(received.data, file);
        QVERIFY(!received.more && !received.uncertain);
    }

    void textsOutsideTheCodePageBecomeQuestionMarks()
    {
        const QByteArray entry = compose(headerOf({"\u03A9", "s", "t", "f", "\u0416.txt"}), "x");
        const Received received = receive(entry);
        QVERIFY(received.header);
        QCOMPARE(received.header->message, QStringLiteral("?"));
        QCOMPARE(received.header->fileName, QStringLiteral("?.txt"));
    }

    // Python's base64 module reads what we write: one Base64 line and CR LF,
    // a record of six comma-separated fields in the code page, the last one
    // Base64 of the file.
    void entryReadByPython_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("file");
        QTest::addRow("one byte") << plainHeader << QByteArray("\xff");
        QTest::addRow("all 256 byte values")
            << QStringList{"Gr\u00fc\u00dfe \u20ac", "Subject: x", "TO: A", "From: B", "f\u00fcr.bin"} << allByteValues();
        QTest::addRow("1 MB random") << plainHeader << randomBytes(3, 1024 * 1024);
        QTest::addRow("beyond the write buffer") << plainHeader << randomBytes(4, 3 * 1024 * 1024 + 1);
    }
    void entryReadByPython()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, file);
        const QByteArray entry = compose(headerOf(fields), file);
        const QByteArray report =
            runTool(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import sys, base64, binascii, hashlib, json\n"
                                    "raw = sys.stdin.buffer.read()\n"
                                    "assert raw.endswith(b'\\r\\n'), 'no CR LF at the end'\n"
                                    "record = base64.b64decode(raw[:-2], validate=True)\n"
                                    "pieces = record.split(b',')\n"
                                    "assert len(pieces) == 6, len(pieces)\n"
                                    "data = base64.b64decode(pieces[5], validate=True)\n"
                                    "print(json.dumps({'fields': [p.decode('cp1252') for p in pieces[:5]],\n"
                                    "                  'sha256': hashlib.sha256(data).hexdigest()}))\n")},
                    entry);
        if (report.isNull())
            QSKIP("python3 is not available or refused the entry (see the warning)");
        const QJsonObject result = QJsonDocument::fromJson(report).object();
        QStringList seen;
        for (const QJsonValue field : result.value(QStringLiteral("fields")).toArray())
            seen << field.toString();
        QCOMPARE(seen, fields);
        QCOMPARE(result.value(QStringLiteral("sha256")).toString().toLatin1(),
                 QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
    }

    // Entries written by other Base64 encoders, broken into lines of 76
    // characters by LF, both layers.
    void entryWrittenByOtherTools_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("file");
        for (const char *tool : {"coreutils", "python"}) {
            QTest::addRow("%s, one byte", tool) << tool << QByteArray("A");
            QTest::addRow("%s, all 256 byte values", tool) << tool << allByteValues();
            QTest::addRow("%s, 1 MB random", tool) << tool << randomBytes(5, 1024 * 1024);
        }
    }
    void entryWrittenByOtherTools()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, file);
        const auto encode = [&tool](const QByteArray &bytes) {
            if (tool == u"coreutils")
                return runTool(QStringLiteral("base64"), {QStringLiteral("-w"), QStringLiteral("76")}, bytes);
            return runTool(QStringLiteral("python3"),
                           {QStringLiteral("-c"),
                            QStringLiteral("import sys, base64\n"
                                           "sys.stdout.buffer.write(base64.encodebytes(sys.stdin.buffer.read()))\n")},
                           bytes);
        };
        const QByteArray data = encode(file);
        if (data.isNull())
            QSKIP("the encoder is not available");
        QVERIFY(data.contains('\n') || file.size() < 57);
        // Windows-1252 bytes of the four texts and the file name.
        const QByteArray record = "Gr\xFC\xDF\x65 \x80,Subject: x,TO: A,From: B,f\xFCr.bin," + data;
        QByteArray entry = encode(record);
        QVERIFY(entry.endsWith('\n'));
        entry.chop(1);
        entry += "\r\n";
        const Received received = receive(entry);
        QVERIFY2(received.header, qPrintable(received.error));
        QCOMPARE(fieldsOf(*received.header),
                 (QStringList{"Gr\u00fc\u00dfe \u20ac", "Subject: x", "TO: A", "From: B", "f\u00fcr.bin"}));
        QVERIFY2(received.dataRead, qPrintable(received.error));
        QCOMPARE(received.data, file);
    }

    // A comma typed into a field travels unchanged and shifts every later
    // field on the receiving side.
    void commaShiftsLaterFields_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<bool>("dataRead");
        QTest::addColumn<QByteArray>("data");
        QTest::addRow("comma in the message")
            << QStringList{"Hi, all", "S", "T", "F", "a.txt"} << QStringList{"Hi", " all", "S", "T", "F"} << false
            << QByteArray();
        QTest::addRow("comma in the subject")
            << QStringList{"M", "a,b", "T", "F", "a.txt"} << QStringList{"M", "a", "b", "T", "F"} << false << QByteArray();
        QTest::addRow("comma in the file name")
            << QStringList{"M", "S", "T", "F", "a,b.txt"} << QStringList{"M", "S", "T", "F", "a"} << false << QByteArray();
        QTest::addRow("shifted piece that is Base64 becomes the data")
            << QStringList{"M", "S", "T", "F,G", "QUJD"} << QStringList{"M", "S", "T", "F", "G"} << true
            << QByteArray("ABC");
        QTest::addRow("two commas")
            << QStringList{"a,b", "c,d", "T", "F", "n"} << QStringList{"a", "b", "c", "d", "T"} << false << QByteArray();
    }
    void commaShiftsLaterFields()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, seen);
        QFETCH(bool, dataRead);
        QFETCH(QByteArray, data);
        const Received received = receive(compose(headerOf(typed), "the real file"));
        QVERIFY(received.header);
        QCOMPARE(fieldsOf(*received.header), seen);
        QCOMPARE(received.dataRead, dataRead);
        if (dataRead)
            QCOMPARE(received.data, data);
        else
            QVERIFY(!received.error.isEmpty());
    }

    void entriesBuiltByHand_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error"); // checked when not empty
        QTest::addRow("six pieces") << entryOf("m,s,t,f,n,QUJD") << true << QByteArray("ABC") << QString();
        QTest::addRow("six pieces, empty data") << entryOf("m,s,t,f,n,") << true << QByteArray() << QString();
        QTest::addRow("seventh piece ignored") << entryOf("m,s,t,f,n,QUJD,QkJC") << true << QByteArray("ABC") << QString();
        QTest::addRow("data with LF line breaks") << entryOf("m,s,t,f,n,QU\nJD\nQkJC\r\n") << true
                                                  << QByteArray("ABCBBB") << QString();
        QTest::addRow("no CR LF at the end") << QByteArray("m,s,t,f,n,QUJD").toBase64() << true << QByteArray("ABC")
                                             << QString();
        QTest::addRow("LF line breaks in the outer text")
            << QByteArray("m,s,t,f,n,QUJD").toBase64().insert(8, '\n').insert(4, '\n') + "\r\n" << true
            << QByteArray("ABC") << QString();
        QTest::addRow("five pieces") << entryOf("m,s,t,f,n") << false << QByteArray() << formatError;
        QTest::addRow("one piece") << entryOf("QUJD") << false << QByteArray() << formatError;
        QTest::addRow("empty file") << QByteArray() << false << QByteArray() << formatError;
        QTest::addRow("CR LF only") << QByteArray("\r\n") << false << QByteArray() << formatError;
        QTest::addRow("outer text not Base64") << QByteArray("m,s,t,f,n,QUJD\r\n") << false << QByteArray() << QString();
        QTest::addRow("outer text cut off mid group")
            << QByteArray("m,s,t,f,n,QUJDRA").toBase64().chopped(3) + "\r\n" << false << QByteArray() << QString();
        QTest::addRow("outer text with garbage after the header")
            << QByteArray("m,s,t,f,n,QUJDRUZH").toBase64() + "*!*!\r\n" << false << QByteArray() << QString();
        QTest::addRow("inner data not Base64") << entryOf("m,s,t,f,n,QU!D") << false << QByteArray() << QString();
        QTest::addRow("inner data cut off") << entryOf("m,s,t,f,n,QUJDQ") << false << QByteArray() << QString();
        QTest::addRow("inner data with data after =") << entryOf("m,s,t,f,n,QQ==QUJD") << false << QByteArray()
                                                      << QString();
    }
    void entriesBuiltByHand()
    {
        QFETCH(QByteArray, entry);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, data);
        QFETCH(QString, error);
        const Received received = receive(entry);
        QCOMPARE(received.header && received.dataRead, accepted);
        if (accepted) {
            QCOMPARE(fieldsOf(*received.header), (QStringList{"m", "s", "t", "f", "n"}));
            QCOMPARE(received.data, data);
            return;
        }
        QVERIFY(!received.error.isEmpty());
        if (!error.isEmpty())
            QCOMPARE(received.error, error);
        else
            QVERIFY2(received.error != formatError, "a Base64 failure must say so");
    }

    // Two posts in one second share a file. The first entry is taken
    // exactly and the reader says that more follows; where its end cannot
    // be told, the failure is said. Never mixed data.
    void secondEntryOfTheSameFileIsNotMixedIn_data()
    {
        QTest::addColumn<QString>("firstMessage");
        QTest::addColumn<QByteArray>("firstData");
        QTest::addColumn<QString>("secondMessage");
        QTest::addColumn<bool>("relayed"); // broken into lines of 76 by CR LF
        QTest::addColumn<bool>("exact");   // false: refused
        for (const char *message : {"first", "first!", "first!!"})
            QTest::addRow("%s", message) << QString::fromLatin1(message) << QByteArray("first data") << "second"
                                         << false << true;
        // "first" makes the record a multiple of three bytes long, and the
        // data is one too: neither layer of the first entry ends with '='.
        QTest::addRow("no end mark, second message of four letters")
            << "first" << QByteArray("first data!!") << "abcd" << false << true;
        QTest::addRow("no end mark, second message of eight letters")
            << "first" << QByteArray("first data!!") << "abcdefgh" << false << true;
        QTest::addRow("no end mark, long entries")
            << "first" << QByteArray(300, 'x') << "abcd" << false << true;
        QTest::addRow("no end mark, line ends changed on the way")
            << "first" << QByteArray(300, 'x') << "abcd" << true << false;
    }
    void secondEntryOfTheSameFileIsNotMixedIn()
    {
        QFETCH(QString, firstMessage);
        QFETCH(QByteArray, firstData);
        QFETCH(QString, secondMessage);
        QFETCH(bool, relayed);
        QFETCH(bool, exact);
        const QByteArray first = compose(headerOf({firstMessage, "s", "t", "f", "one.bin"}), firstData);
        const QByteArray second = compose(headerOf({secondMessage, "s", "t", "f", "two.bin"}), "second data");
        if (firstMessage == u"first" && firstData.size() % 3 == 0)
            QVERIFY(!first.contains('='));
        QByteArray file;
        for (const QByteArray &entry : {first, second}) {
            if (!relayed) {
                file += entry;
                continue;
            }
            const QByteArray body = entry.trimmed();
            for (qsizetype i = 0; i < body.size(); i += 76)
                file += body.mid(i, 76) + "\r\n";
        }
        const Received received = receive(file);
        QVERIFY(received.header);
        QCOMPARE(received.header->message, firstMessage);
        QCOMPARE(received.header->fileName, QStringLiteral("one.bin"));
        QCOMPARE(received.dataRead, exact);
        if (exact) {
            QCOMPARE(received.data, firstData);
            QVERIFY(received.more);
        } else {
            QVERIFY(!received.error.isEmpty());
        }
    }

    // Read from a stream, nothing can be looked over first: where a second
    // entry follows, its data is refused instead of run together.
    void secondEntryOfAStreamIsNotMixedIn_data()
    {
        QTest::addColumn<QString>("firstMessage");
        QTest::addColumn<QByteArray>("firstData");
        QTest::addColumn<QString>("secondMessage");
        QTest::addColumn<bool>("withSecond");
        QTest::addColumn<bool>("relayed");
        QTest::addColumn<bool>("exact");
        QTest::addRow("one entry") << "first" << QByteArray("first data!!") << "" << false << false << true;
        QTest::addRow("one entry, line ends changed on the way") << "first" << QByteArray(300, 'x') << "" << false << true << true;
        QTest::addRow("no end mark, second message of four letters")
            << "first" << QByteArray("first data!!") << "abcd" << true << false << false;
        QTest::addRow("no end mark, long entries") << "first" << QByteArray(300, 'x') << "abcd" << true << false << false;
        QTest::addRow("end marks") << "first!" << QByteArray("first data") << "second" << true << false << false;
        QTest::addRow("no end mark, line ends changed on the way")
            << "first" << QByteArray(300, 'x') << "abcd" << true << true << false;
    }
    void secondEntryOfAStreamIsNotMixedIn()
    {
        QFETCH(QString, firstMessage);
        QFETCH(QByteArray, firstData);
        QFETCH(QString, secondMessage);
        QFETCH(bool, withSecond);
        QFETCH(bool, relayed);
        QFETCH(bool, exact);
        QByteArray file = compose(headerOf({firstMessage, "s", "t", "f", "one.bin"}), firstData);
        if (withSecond)
            file += compose(headerOf({secondMessage, "s", "t", "f", "two.bin"}), "second data");
        if (relayed) {
            const QByteArray body = file.trimmed();
            file.clear();
            for (qsizetype i = 0; i < body.size(); i += 76)
                file += body.mid(i, 76) + "\r\n";
        }
        Stream in(file);
        AttachmentStream::Reader reader(in);
        const Result<AttachmentHeader> header = reader.readHeader();
        QVERIFY2(header, qPrintable(header.error()));
        QCOMPARE(header->fileName, QStringLiteral("one.bin"));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const Outcome read = reader.readData(out);
        if (exact) {
            QVERIFY2(read, qPrintable(read.error()));
            QCOMPARE(out.data(), firstData);
            QCOMPARE(reader.endIsUncertain(), relayed);
        } else if (read) {
            // Only a second entry with its own end mark stops the first one exactly.
            QCOMPARE(out.data(), firstData);
            QVERIFY(reader.hasMoreEntries());
        } else {
            QVERIFY(!read.error().isEmpty());
        }
    }

    // The texts and the name are held whole before the data, so they are
    // bounded; the composer refuses what the reader would.
    void headerAtItsLimit_data()
    {
        QTest::addColumn<qsizetype>("size"); // of the four texts and the name, with their four commas
        QTest::addColumn<bool>("taken");
        QTest::addRow("at the limit") << AttachmentStream::headerLimit << true;
        QTest::addRow("one byte more") << AttachmentStream::headerLimit + 1 << false;
    }
    void headerAtItsLimit()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, taken);
        const QStringList fields{"m", "s", "t", QString(size - 4 - 4, u'f'), "n"};
        const QByteArray record = Windows1252::encode(fields.join(u',')) + ",QUJD";
        const Received received = receive(entryOf(record));
        QCOMPARE(bool(received.header), taken);
        if (taken) {
            QVERIFY2(received.dataRead, qPrintable(received.error));
            QCOMPARE(received.data, QByteArray("ABC"));
            QCOMPARE(compose(headerOf(fields), "ABC"), entryOf(record));
        } else {
            QVERIFY(received.error.contains(QString::number(AttachmentStream::headerLimit)));
            QVERIFY(received.error != formatError);
            QBuffer source;
            source.setData("ABC");
            source.open(QIODevice::ReadOnly);
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            QVERIFY(!AttachmentStream::writeEntry(headerOf(fields), source, out));
            QVERIFY(out.data().isEmpty());
        }
    }

    // A header without its fifth comma is not read into memory without end.
    void endlessHeaderIsRefused()
    {
        const Received received = receive(entryOf(QByteArray(AttachmentStream::headerLimit + 4 * 1024 * 1024, 'x')));
        QVERIFY(!received.header);
        QVERIFY(received.error.contains(QString::number(AttachmentStream::headerLimit)));
    }

    // Where the entries of a file lie: taken apart only when every line is
    // a whole entry.
    void layoutOfAFile_data()
    {
        const QByteArray a = compose(headerOf({"first", "s", "t", "f", "a"}), QByteArray(300, 'a'));
        const QByteArray b = compose(headerOf({"abcd", "s", "t", "f", "b"}), "bb");
        const QByteArray c = compose(headerOf({"c", "s", "t", "f", "c"}), "");
        QByteArray relayedA;
        for (qsizetype i = 0; i < a.trimmed().size(); i += 76)
            relayedA += a.trimmed().mid(i, 76) + "\r\n";
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QByteArray>>("entries"); // each without its CR LF
        QTest::addColumn<bool>("severalLines");
        QTest::addRow("one") << a << QList<QByteArray>{a} << false;
        QTest::addRow("one, blank lines after it") << a + "\r\n \r\n" << QList<QByteArray>{a + "\r\n \r\n"} << false;
        QTest::addRow("three") << a + b + c << QList<QByteArray>{a.trimmed(), b.trimmed(), c.trimmed()} << true;
        QTest::addRow("blank lines between, none at the end")
            << a + "\r\n  \r\n" + b.trimmed() << QList<QByteArray>{a.trimmed(), b.trimmed()} << true;
        QTest::addRow("LF breaks inside an entry")
            << QByteArray(a).insert(40, '\n') + b << QList<QByteArray>{QByteArray(a.trimmed()).insert(40, '\n'), b.trimmed()}
            << true;
        QTest::addRow("line ends changed on the way") << relayedA << QList<QByteArray>{relayedA} << true;
        QTest::addRow("changed, then a second entry") << relayedA + b << QList<QByteArray>{relayedA + b} << true;
        // Three blanks and 3,145,724 characters of Base64: the CR is the last
        // byte of the first 3 MiB read, the LF the first of the next.
        const QByteArray big = "   " + compose(headerOf({"", "s", "t", "f", "a.bin"}), QByteArray(1769460, 'z')).trimmed();
        QTest::addRow("CR and LF in two reads") << big + "\r\n" + b << QList<QByteArray>{big, b.trimmed()} << true;
        QTest::addRow("a second line that is no entry") << a + "QUJD\r\n" << QList<QByteArray>{a + "QUJD\r\n"} << true;
    }
    void layoutOfAFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QByteArray>, entries);
        QFETCH(bool, severalLines);
        QBuffer in;
        in.setData(file);
        in.open(QIODevice::ReadOnly);
        const auto layout = AttachmentStream::layoutOf(in);
        QVERIFY(layout);
        QCOMPARE(in.pos(), 0);
        QCOMPARE(layout->severalLines, severalLines);
        QList<QByteArray> seen;
        for (const auto &range : layout->entries)
            seen << file.mid(range.start, range.end < 0 ? -1 : range.end - range.start);
        QCOMPARE(seen, entries);
    }

    // A relay that turns every LF into CR LF must not cut the message short.
    void lineEndsChangedOnTheWay()
    {
        QByteArray data;
        for (int i = 0; i < 1000; ++i)
            data += char(i * 37);
        QByteArray file = compose(headerOf({"m", "s", "t", "f", "nnnn"}), data);
        QByteArray wrapped;
        const QByteArray body = file.trimmed();
        for (qsizetype i = 0; i < body.size(); i += 76)
            wrapped += body.mid(i, 76) + "\r\n";
        const Received received = receive(wrapped);
        QVERIFY2(received.dataRead, qPrintable(received.error));
        QCOMPARE(received.data, data);
        QVERIFY(received.uncertain);
        QVERIFY(!receive(file).uncertain);
    }

    void progressAndCancel()
    {
        const QByteArray file = randomBytes(6, 4 * 1024 * 1024);
        QBuffer source;
        source.setData(file);
        source.open(QIODevice::ReadOnly);
        QBuffer entry;
        entry.open(QIODevice::WriteOnly);
        QList<QPair<qint64, qint64>> written;
        QVERIFY(AttachmentStream::writeEntry(headerOf(plainHeader), source, entry, [&](qint64 done, qint64 total) {
            written << qMakePair(done, total);
            return true;
        }));
        QVERIFY(written.size() >= 2);
        QCOMPARE(written.last(), qMakePair(qint64(file.size()), qint64(file.size())));
        for (int i = 1; i < written.size(); ++i)
            QVERIFY(written[i].first >= written[i - 1].first);

        QBuffer in(&entry.buffer());
        in.open(QIODevice::ReadOnly);
        AttachmentStream::Reader reader(in);
        QVERIFY(reader.readHeader());
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QList<qint64> read;
        QVERIFY(reader.readData(out, [&](qint64 done, qint64 total) {
            read << done;
            return total == in.size();
        }));
        QVERIFY(read.size() >= 2);
        QCOMPARE(read.last(), in.size());
        QCOMPARE(out.data(), file);

        // Cancelled after the first piece, either way.
        source.seek(0);
        QBuffer cancelled;
        cancelled.open(QIODevice::WriteOnly);
        QVERIFY(!AttachmentStream::writeEntry(headerOf(plainHeader), source, cancelled, [](qint64, qint64) { return false; }));
        in.seek(0);
        AttachmentStream::Reader cancelledReader(in);
        QVERIFY(cancelledReader.readHeader());
        QBuffer partial;
        partial.open(QIODevice::WriteOnly);
        const Outcome cancelledRead = cancelledReader.readData(partial, [](qint64, qint64) { return false; });
        QVERIFY(!cancelledRead);
        QCOMPARE(cancelledRead.error(), QStringLiteral("cancelled"));
    }

    void writeFailuresAreReported()
    {
        QBuffer unreadable;
        unreadable.setData("some bytes");
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::read (QBuffer): device not open");
        const auto notRead = AttachmentStream::writeEntry(headerOf(plainHeader), unreadable, out);
        QVERIFY(!notRead);
        QVERIFY(!notRead.error().isEmpty());

        QBuffer source;
        source.setData("some bytes");
        source.open(QIODevice::ReadOnly);
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        const auto notWritten = AttachmentStream::writeEntry(headerOf(plainHeader), source, readOnly);
        QVERIFY(!notWritten);
        QVERIFY(!notWritten.error().isEmpty());
    }

    void readFailureOfTheOutputIsReported()
    {
        QBuffer in;
        in.setData(entryOf("m,s,t,f,n,QUJD"));
        in.open(QIODevice::ReadOnly);
        AttachmentStream::Reader reader(in);
        QVERIFY(reader.readHeader());
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        const Outcome read = reader.readData(readOnly);
        QVERIFY(!read);
        QVERIFY2(read.error().startsWith(QStringLiteral("the attached file cannot be written: ")),
                 qPrintable(read.error()));
    }
};

QTEST_GUILESS_MAIN(TestAttachmentStream)
#include "tst_attachmentstream.moc"
