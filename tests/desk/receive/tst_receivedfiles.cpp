// The file steps of taking a message out of the receive folder and of
// receiving an attachment, on a temporary folder alone, without a screen.
#include "compose/AttachmentStream.h"
#include "TestFiles.h"
#include "receive/ReceivedAttachment.h"
#include "receive/ReceivedMessage.h"
#include "shell/SettingFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// An unreadable file reads as a marker no file of these tests holds.
QByteArray readFile(const QString &path)
{
    return TestFiles::read(path, "<unreadable>");
}

QByteArray entry(const AttachmentHeader &header, const QByteArray &bytes)
{
    QByteArray data(bytes);
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    QByteArray message;
    QBuffer out(&message);
    out.open(QIODevice::WriteOnly);
    if (const Outcome written = AttachmentStream::writeEntry(header, source, out); !written)
        qWarning() << written.error();
    return message;
}

QByteArray mailRecords(int count, int digits = 4)
{
    QByteArray file;
    for (int i = 0; i < count; ++i)
        file += QByteArray::number(84 + i) + ' ' + QByteArray(digits, '7') + ",83 85,77 77,70 82\r\n";
    return file;
}

// Writes of regular files beyond `bytes` fail with the system's "File too
// large" for as long as this lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_signal);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_before{};
    void (*m_signal)(int) = nullptr;
    bool m_set = false;
};

// What QSaveFile itself says when `path` cannot be opened for writing.
QString saveFileReason(const QString &path)
{
    QSaveFile probe(path);
    return probe.open(QIODevice::WriteOnly) ? QString() : probe.errorString();
}

} // namespace

class TestReceivedFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder; ///< the receive folder of one test
    QString m_program; ///< the program's folder of one test

    QString inFolder(const QString &name) const { return QDir(m_folder).filePath(name); }

private slots:
    void init()
    {
        static int round = 0;
        m_folder = m_dir.filePath(QStringLiteral("receive%1").arg(++round));
        m_program = m_dir.filePath(QStringLiteral("program%1").arg(round));
        QVERIFY(QDir().mkpath(m_folder) && QDir().mkpath(m_program));
    }

    void kindByNameThenText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("kind");
        const auto mail = int(MessageFile::Kind::Mail);
        const auto attachment = int(MessageFile::Kind::Attachment);
        QTest::addRow("the name's word wins over the text") << "K7X FILE 1.txt" << QByteArray("MAIL") << attachment;
        QTest::addRow("mail named") << "K7X MAIL 1.txt" << QByteArray("FILE") << mail;
        QTest::addRow("text says mail") << "note.txt" << QByteArray("abc MAIL def") << mail;
        QTest::addRow("text says file") << "note.txt" << QByteArray("abc FILE def") << attachment;
        // The word stands across the edge of two 64 KiB pieces.
        QTest::addRow("word across pieces") << "note.txt" << QByteArray(64 * 1024 - 2, 'x') + " MAIL " << mail;
        QTest::addRow("neither") << "note.txt" << QByteArray("nothing here") << int(MessageFile::Kind::Unrecognized);
    }
    void kindByNameThenText()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QVERIFY(TestFiles::write(inFolder(name), content));
        ReceivedMessage message(inFolder(name));
        QVERIFY(message.open());
        const Result<MessageFile::Kind> found = message.kind(name);
        QVERIFY2(found, qPrintable(found.error()));
        QCOMPARE(int(*found), kind);
    }

    void aSpecialFileIsNeverOpened()
    {
        const QString fifo = inFolder(QStringLiteral("K7X MAIL fifo.txt"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        ReceivedMessage message(fifo);
        const Outcome opened = message.open(); // returns at once, no writer needed
        QVERIFY(!opened);
        QVERIFY2(opened.error().contains(QDir::toNativeSeparators(fifo)), qPrintable(opened.error()));
    }

    // Each post of the file, written beside it or handed over, holds the
    // bytes it had in the file, and the received file stays as it was.
    void postsOfOneFileGoApartWhole_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<QByteArray>>("posts");
        QTest::addColumn<QByteArray>("handedOver");
        const QByteArray records = mailRecords(3);
        const QList<QByteArray> lines = records.split('\n').mid(0, 3);
        QTest::addRow("three mails") << records << "K7X MAIL 1.txt"
                                     << QList<QByteArray>{lines[1] + '\n', lines[2] + '\n'} << lines[0] + "\n\r\n";
        QTest::addRow("one mail") << mailRecords(1) << "K7X MAIL 1.txt" << QList<QByteArray>{}
                                  << mailRecords(1) + "\r\n";
        const QByteArray first = entry({"m1", "s1", "t1", "f1", "one.bin"}, "first data");
        const QByteArray second = entry({"m2", "s2", "t2", "f2", "two.bin"}, QByteArray(5000, '\x9C'));
        const QByteArray third = entry({"m3", "s3", "t3", "f3", "three.bin"}, "");
        QTest::addRow("three attachments") << first + second + third << "K7X FILE 1.txt"
                                           << QList<QByteArray>{second, third} << first;
        QTest::addRow("one attachment") << first << "K7X FILE 1.txt" << QList<QByteArray>{} << first;
    }
    void postsOfOneFileGoApartWhole()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QList<QByteArray>, posts);
        QFETCH(QByteArray, handedOver);
        const QString path = inFolder(name);
        QVERIFY(TestFiles::write(path, file));
        // A name already taken is skipped, never overwritten.
        const QString taken = inFolder(QFileInfo(name).completeBaseName() + " (2).txt");
        QVERIFY(TestFiles::write(taken, "someone else's"));

        ReceivedMessage message(path);
        QVERIFY(message.open());
        const Result<MessageFile::Kind> kind = message.kind(name);
        QVERIFY(kind);
        const Result<qsizetype> count = message.takeApart(*kind);
        QVERIFY2(count, qPrintable(count.error()));
        QCOMPARE(*count, posts.size() + 1);
        const Result<QStringList> others = message.writeOthersBeside();
        QVERIFY2(others, qPrintable(others.error()));
        QCOMPARE(others->size(), posts.size());
        for (int i = 0; i < posts.size(); ++i) {
            QCOMPARE(QFileInfo(others->at(i)).fileName(),
                     QStringLiteral("%1 (%2).txt").arg(QFileInfo(name).completeBaseName()).arg(i + 3));
            QCOMPARE(readFile(others->at(i)), posts[i]);
        }
        const QString handOver = m_dir.filePath(QStringLiteral("handed over"));
        const Outcome handed = message.handOver(handOver);
        QVERIFY2(handed, qPrintable(handed.error()));
        QCOMPARE(readFile(handOver), handedOver);
        QCOMPARE(readFile(taken), QByteArray("someone else's"));
        QCOMPARE(readFile(path), file);

        message.removeOthers();
        for (const QString &other : *others)
            QVERIFY(!QFileInfo::exists(other));
        QVERIFY(QFileInfo::exists(taken));
    }

    void filesThatAreNotTakenApart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("words"); ///< empty: taken, with no post
        QTest::addRow("more than a hundred mails") << mailRecords(101) << "K7X MAIL 1.txt" << "more than 100 messages";
        QTest::addRow("a hundred mails") << mailRecords(100) << "K7X MAIL 1.txt" << "";
        QTest::addRow("no mail record") << QByteArray("12 34\r\n") << "K7X MAIL 1.txt" << "";
        QTest::addRow("endless line") << QByteArray(4 * 1024 * 1024 + 1, '7') << "K7X MAIL 1.txt"
                                      << "holds a line longer than 4 MB";
    }
    void filesThatAreNotTakenApart()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QString, words);
        QVERIFY(TestFiles::write(inFolder(name), file));
        ReceivedMessage message(inFolder(name));
        QVERIFY(message.open());
        const Result<qsizetype> count = message.takeApart(MessageFile::Kind::Mail);
        QCOMPARE(count.ok(), words.isEmpty());
        QVERIFY2(count.error().contains(words), qPrintable(count.error()));
        if (count && file.count('\n') == 1)
            QCOMPARE(*count, 0); // a line that is not four fields is no mail
    }

    // One copy that cannot be written takes every copy written before it
    // with it; the received file still holds every post.
    void aFailedSplitLeavesNoCopy()
    {
        const QByteArray file = mailRecords(2) + mailRecords(1, 400);
        const QString path = inFolder(QStringLiteral("K7X MAIL 1.txt"));
        QVERIFY(TestFiles::write(path, file));
        ReceivedMessage message(path);
        QVERIFY(message.open());
        QCOMPARE(*message.takeApart(MessageFile::Kind::Mail), 3);
        Result<QStringList> others = QStringList();
        {
            const FileSizeLimit limit(200);
            QVERIFY(limit.isSet());
            others = message.writeOthersBeside();
        }
        QVERIFY(!others);
        const QString third = inFolder(QStringLiteral("K7X MAIL 1 (3).txt"));
        QVERIFY2(others.error().contains(QDir::toNativeSeparators(third)), qPrintable(others.error()));
        QVERIFY2(others.error().contains(QString::fromLocal8Bit(strerror(EFBIG)), Qt::CaseInsensitive),
                 qPrintable(others.error()));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("K7X MAIL 1.txt")});
        QCOMPARE(readFile(path), file);
    }

    void aHandOverThatCannotBeWrittenSaysWhy()
    {
        const QString path = inFolder(QStringLiteral("K7X MAIL 1.txt"));
        QVERIFY(TestFiles::write(path, mailRecords(1)));
        const QString notAFolder = m_dir.filePath(QStringLiteral("plain file"));
        QVERIFY(TestFiles::write(notAFolder, "x"));
        const QString target = notAFolder + QStringLiteral("/mail.dat");
        ReceivedMessage message(path);
        QVERIFY(message.open());
        QVERIFY(message.takeApart(MessageFile::Kind::Mail));
        const Outcome handed = message.handOver(target);
        QVERIFY(!handed);
        QCOMPARE(handed.error(), Outcome::cannotWrite(target, saveFileReason(target)).error());
    }

    void placesAReceivedFileNeverTakes_data()
    {
        QTest::addColumn<QString>("senderName");
        QTest::addColumn<QString>("made"); ///< what lies at that name beforehand
        QTest::addColumn<QString>("words"); ///< empty: the file may land there
        QTest::addRow("an ordinary name") << "photo.jpg" << "" << "";
        QTest::addRow("a path from the sender") << "C:\\Users\\x\\photo.jpg" << "" << "";
        QTest::addRow("an older data file") << "notes.txt" << "file" << "";
        QTest::addRow("a setting file") << "RECEIVE.DAT" << "" << "name of a program or of a setting file";
        QTest::addRow("the program") << "tavrixdesk.exe" << "" << "name of a program";
        QTest::addRow("no name left") << ".." << "" << "not a file name that can be used";
        QTest::addRow("a link") << "linked.txt" << "link" << "is a link to another place";
        QTest::addRow("a folder") << "stuff" << "folder" << "is a folder";
        QTest::addRow("an executable") << "tool" << "executable" << "is an executable file";
    }
    void placesAReceivedFileNeverTakes()
    {
        QFETCH(QString, senderName);
        QFETCH(QString, made);
        QFETCH(QString, words);
        const QString at = QDir(m_program).filePath(MessageFile::safeFileName(senderName));
        if (made == u"file" || made == u"executable")
            QVERIFY(TestFiles::write(at, "old"));
        if (made == u"executable")
            QVERIFY(QFile::setPermissions(at, QFile::permissions(at) | QFile::ExeOwner));
        if (made == u"folder")
            QVERIFY(QDir().mkpath(at));
        if (made == u"link")
            QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("elsewhere")), at));
        const SettingFiles files(m_program, m_program);
        const ReceivedAttachment attachment(inFolder(QStringLiteral("temp")), files);
        const Result<QString> target = attachment.targetFor(senderName);
        QCOMPARE(target.ok(), words.isEmpty());
        QVERIFY2(target.error().contains(words), qPrintable(target.error()));
        if (target)
            QCOMPARE(*target, at);
    }

    void theAttachedFileLandsWhole_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("olderFile");
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        QTest::addRow("every byte value") << all << false;
        QTest::addRow("several pieces long") << all.repeated(40000) << false;
        QTest::addRow("replaces an older data file") << QByteArray("new") << true;
        QTest::addRow("empty") << QByteArray() << false;
    }
    void theAttachedFileLandsWhole()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, olderFile);
        const QString message = m_dir.filePath(QStringLiteral("temp"));
        QVERIFY(TestFiles::write(message, entry({"m", "s", "t", "f", "landed.bin"}, data)));
        const QString landed = QDir(m_program).filePath(QStringLiteral("landed.bin"));
        if (olderFile)
            QVERIFY(TestFiles::write(landed, "older and longer"));
        const SettingFiles files(m_program, m_program);
        ReceivedAttachment attachment(message, files);
        const Result<AttachmentHeader> header = attachment.readHeader();
        QVERIFY2(header, qPrintable(header.error()));
        const Result<QString> target = attachment.targetFor(header->fileName);
        QVERIFY2(target, qPrintable(target.error()));
        // Made executable by mistake beforehand, it is data again after.
        if (olderFile)
            QVERIFY(QFile::setPermissions(landed, QFile::permissions(landed) | QFile::ExeGroup));
        qint64 lastDone = -1;
        const Outcome written = attachment.writeData(*target, [&](qint64 done, qint64) {
            lastDone = done;
            return true;
        });
        QVERIFY2(written, qPrintable(written.error()));
        QCOMPARE(readFile(landed), data);
        QVERIFY(lastDone > 0);
        QCOMPARE(QFile::permissions(landed) & (QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther),
                 QFile::Permissions());
        QVERIFY(!attachment.hasMoreEntries());
    }

    // Data that breaks off or is cancelled leaves the place as it was.
    void aBrokenAttachmentLeavesNothing_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("words");
        const QByteArray bad = QByteArray("m,s,t,f,landed.bin,QUJD*EFG").toBase64() + "\r\n";
        QTest::addRow("bad data") << bad << false << "not valid Base64";
        QTest::addRow("cancelled") << entry({"m", "s", "t", "f", "landed.bin"}, QByteArray(100000, 'a')) << true
                                   << "cancelled";
    }
    void aBrokenAttachmentLeavesNothing()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, cancel);
        QFETCH(QString, words);
        const QString path = m_dir.filePath(QStringLiteral("temp"));
        QVERIFY(TestFiles::write(path, message));
        const QString landed = QDir(m_program).filePath(QStringLiteral("landed.bin"));
        QVERIFY(TestFiles::write(landed, "kept"));
        const SettingFiles files(m_program, m_program);
        ReceivedAttachment attachment(path, files);
        const Result<AttachmentHeader> header = attachment.readHeader();
        QVERIFY(header);
        const Outcome written = attachment.writeData(*attachment.targetFor(header->fileName),
                                                     [cancel](qint64, qint64) { return !cancel; });
        QVERIFY(!written);
        QVERIFY2(written.error().contains(words), qPrintable(written.error()));
        QCOMPARE(readFile(landed), QByteArray("kept"));
        QCOMPARE(QDir(m_program).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("landed.bin")});
    }

    // The system cuts a write short (a full disk; here a file size limit):
    // the attached file is not called received, and nothing is left.
    void aWriteCutShortIsNeverWhole()
    {
        const QString path = m_dir.filePath(QStringLiteral("temp"));
        QVERIFY(TestFiles::write(path, entry({"m", "s", "t", "f", "landed.bin"}, QByteArray(5000, 'a'))));
        const SettingFiles files(m_program, m_program);
        ReceivedAttachment attachment(path, files);
        const Result<AttachmentHeader> header = attachment.readHeader();
        QVERIFY(header);
        const QString landed = QDir(m_program).filePath(QStringLiteral("landed.bin"));
        Outcome written;
        {
            const FileSizeLimit limit(1000);
            QVERIFY(limit.isSet());
            written = attachment.writeData(*attachment.targetFor(header->fileName));
        }
        QVERIFY(!written);
        QVERIFY2(written.error().contains(QString::fromLocal8Bit(strerror(EFBIG)), Qt::CaseInsensitive),
                 qPrintable(written.error()));
        QVERIFY(QDir(m_program).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(!QFileInfo::exists(landed));
    }

    void aMessageThatCannotBeReadSaysWhy()
    {
        const QString missing = m_dir.filePath(QStringLiteral("no such temp"));
        const SettingFiles files(m_program, m_program);
        ReceivedAttachment attachment(missing, files);
        const Result<AttachmentHeader> header = attachment.readHeader();
        QVERIFY(!header);
        QFile probe(missing);
        QVERIFY(!probe.open(QIODevice::ReadOnly));
        QVERIFY2(header.error().contains(QDir::toNativeSeparators(missing)) && header.error().contains(probe.errorString()),
                 qPrintable(header.error()));
        QVERIFY(!attachment.isFormatError());
    }

    void copiesAreWholeOrNothing()
    {
        const QString source = m_dir.filePath(QStringLiteral("source.bin"));
        const QByteArray bytes = QByteArray("0123456789").repeated(1024 * 1024); // more than one piece
        QVERIFY(TestFiles::write(source, bytes));
        QVERIFY(ReceivedAttachment::hasContent(source));

        const QString copy = m_dir.filePath(QStringLiteral("copy.bin"));
        const Outcome copied = ReceivedAttachment::copyWhole(source, copy);
        QVERIFY2(copied, qPrintable(copied.error()));
        QCOMPARE(readFile(copy), bytes);

        const QString notAFolder = m_dir.filePath(QStringLiteral("plain"));
        QVERIFY(TestFiles::write(notAFolder, "x"));
        const QString unreachable = notAFolder + QStringLiteral("/copy.bin");
        const Outcome refused = ReceivedAttachment::copyWhole(source, unreachable);
        QVERIFY(!refused);
        QCOMPARE(refused.error(), Outcome::cannotWrite(unreachable, saveFileReason(unreachable)).error());

        // A destination that fills up part way is left as it was.
        QVERIFY(TestFiles::write(copy, "the older copy"));
        {
            const FileSizeLimit limit(1024 * 1024);
            QVERIFY(limit.isSet());
            const Outcome cut = ReceivedAttachment::copyWhole(source, copy);
            QVERIFY(!cut);
            QVERIFY2(cut.error().contains(QDir::toNativeSeparators(copy)), qPrintable(cut.error()));
        }
        QCOMPARE(readFile(copy), QByteArray("the older copy"));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("copy.bin*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("copy.bin")});
    }

    void contentMeansARegularFileWithBytes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("content");
        QTest::addRow("bytes") << "bytes" << true;
        QTest::addRow("empty") << "empty" << false;
        QTest::addRow("missing") << "missing" << false;
        QTest::addRow("fifo") << "fifo" << false;
        QTest::addRow("folder") << "folder" << false;
    }
    void contentMeansARegularFileWithBytes()
    {
        QFETCH(QString, kind);
        QFETCH(bool, content);
        const QString path = m_dir.filePath(QStringLiteral("content-") + kind);
        if (kind == u"bytes" || kind == u"empty")
            QVERIFY(TestFiles::write(path, kind == u"bytes" ? "x" : ""));
        if (kind == u"fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        if (kind == u"folder")
            QVERIFY(QDir().mkpath(path));
        QCOMPARE(ReceivedAttachment::hasContent(path), content);
    }
};

QTEST_GUILESS_MAIN(TestReceivedFiles)
#include "tst_receivedfiles.moc"
