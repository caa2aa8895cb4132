// Writes small seed inputs for every fuzz target, made by the project's own
// composers, into <folder>/<target>/:   fuzz_seeds tests/fuzz/corpus
#include "compose/AttachmentStream.h"
#include "compose/Base64.h"
#include "compose/CsvRecords.h"
#include "compose/FieldEscaping.h"
#include "compose/MessageFile.h"
#include "compose/Windows1252.h"

#include "compose/AddressBook.h"
#include "shell/Modsavemodule.h"

#include "AgwFrame.h"
#include "AnsiText.h"
#include "StationList.h"
#include "TransferLog.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString corpus;

void seed(const char *target, const char *name, const QByteArray &bytes)
{
    const QDir folder(corpus + u'/' + QLatin1String(target));
    folder.mkpath(QStringLiteral("."));
    QFile file(folder.filePath(QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
}

QByteArray join(const QList<QByteArray> &pieces)
{
    return pieces.join('\0');
}

QByteArray entry(const AttachmentHeader &header, const QByteArray &data)
{
    QBuffer source;
    source.setData(data);
    source.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    static_cast<void>(AttachmentStream::writeEntry(header, source, out));
    return out.data();
}

// A literal with every byte, NULs included.
template <qsizetype N>
QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

QByteArray bigEndian(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// A transfer record as the log target builds one: its numbers, then its texts.
QByteArray recordPieces(quint8 how, quint32 seconds, quint16 millis, quint8 offset, quint64 bytes, const QByteArray &peer,
                        const QByteArray &file, const QByteArray &detail)
{
    QByteArray out = "\x01" + QByteArray(1, char(how)) + bigEndian(seconds, 4) + bigEndian(millis, 2) + char(offset) + bigEndian(bytes, 6);
    if (how & 8)
        out += bigEndian(bytes, 5) + bigEndian(seconds - 60, 4) + bigEndian(millis, 2) + char(offset);
    return out + join({peer, file, detail, {}});
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS-FOLDER\n");
        return 2;
    }
    corpus = QString::fromLocal8Bit(argv[1]);
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 9));
    const QString mailText = QStringLiteral("Your Message: Hi, A!\r\n73 de K7X \u00e9\u20ac");

    seed("desk_codepage", "all-bytes", allBytes());
    seed("desk_codepage", "mail-text", Windows1252::encode(mailText));
    seed("portal_codepage", "all-bytes", allBytes());
    seed("portal_codepage", "name", AnsiText::encode(QStringLiteral("MAIL - From- K7X\u00e9--14-05-09--12-07-26.dat")));

    seed("field_escaping", "codes", ConvertToASCII(mailText).toLatin1());
    seed("field_escaping", "record-end", (ConvertToASCII(QStringLiteral("FROM- C")) + QStringLiteral("\r\n\r\n")).toLatin1());

    seed("base64", "abc", join({"\x03", Base64::encode("abc")}));
    seed("base64", "lines", join({"\x05\x01", Base64::encode(allBytes()).insert(76, '\n') + "\r\n"}));
    seed("base64", "padded", join({"\x02", Base64::encode("ab") + Base64::encode("a")}));

    const QString to = QStringLiteral("TO-"), subject = QStringLiteral("Subject-"), from = QStringLiteral("From- K7X");
    const QByteArray record = MessageFile::mailRecordLine(to, subject, mailText, from);
    seed("message_file", "mail",
         join({Windows1252::encode(to), Windows1252::encode(subject), Windows1252::encode(mailText), Windows1252::encode(from),
               MessageFile::mailFileName(from, when).toUtf8(), record + record}));
    seed("message_file", "attachment",
         join({"", "", "", "", MessageFile::attachmentFileName(when).toUtf8(),
               entry({"Message:", "Subject:", "TO:", "From:", "a.txt"}, "file")}));
    seed("message_file", "reply", join({"a", "b", "c", "d", "..\\C:evil/..name.txt", MessageFile::replyFileName(when).toUtf8()}));

    seed("mail_boxes", "reply",
         join({"TO: AB", "Subject: X", Windows1252::encode(mailText) + "\rthree\nfour\r\n", "From- C"}));

    seed("csv_records", "quoted",
         join({"\x03", "plain", "with, comma", "with \"quotes\"\r\nand lines",
               CsvRecords::line({QStringLiteral("a,b"), QStringLiteral("\"q\""), QString()}).toLatin1() + "x,y\nz\r"}));

    const AttachmentHeader header{QStringLiteral("Message: Hi"), QStringLiteral("Subject:"), QStringLiteral("TO: DL1ABC"),
                                  QStringLiteral("From: K7X"), QStringLiteral("data.bin")};
    const QByteArray one = entry(header, allBytes().left(40));
    const QByteArray noEndMark = entry({QStringLiteral("first"), QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("f"),
                                        QStringLiteral("one.bin")}, "first data!!");
    const QByteArray second = entry({QStringLiteral("abcd"), QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("f"),
                                     QStringLiteral("two.bin")}, "second data");
    QByteArray relayed;
    for (qsizetype i = 0; i < one.trimmed().size(); i += 76)
        relayed += one.trimmed().mid(i, 76) + "\r\n";
    seed("attachment_reader", "one", "\x04" + one);
    seed("attachment_reader", "two", "\x01" + noEndMark + second);
    seed("attachment_reader", "relayed", "\x07" + relayed + second);
    seed("attachment_entries", "two-no-end-mark",
         join({"\x03" "first", "s", "t", "f", "one.bin", "first data!!", "abcd", "s", "t", "f", "two.bin", "second data"}));
    seed("attachment_entries", "one", join({"\x10" "Message: Hi", "Subject:", "TO:", "From:", "a.bin", allBytes().mid(1, 50)}));

    QTemporaryDir scratch;
    const QString list = scratch.filePath(QStringLiteral("listitems.txt"));
    const PortalOutcome listed = StationList::rewrite(list, {QStringLiteral("W1AW - 10.0.0.1"), QStringLiteral("K7X-10 - 44.1.2.3"),
                                                       QStringLiteral("DL1ABC - fe80::1"), QStringLiteral("F4\u00c9X - 10.0.0.9")});
    if (!listed) {
        std::fprintf(stderr, "%s\n", qPrintable(listed.why()));
        return 1;
    }
    QFile listFile(list);
    listFile.open(QIODevice::ReadOnly);
    const QByteArray stations = listFile.readAll();
    seed("station_list", "stations", stations);
    seed("station_list", "untidy", "  W1AW - 10.0.0.1  \r\n\r\n   \nN0CALL\r\n");

    seed("address_book", "station-list", "\x0c" + stations);
    seed("address_book", "long-line", raw("\x00") + QByteArray(1500, 'W') + "1AW - 10.0.0.1\r\n" + stations);
    const SettingFiles settings(scratch.path(), scratch.path());
    if (!AddressBook::recordSent(settings, QStringLiteral("TO: K7X, DL1ABC-2; w1aw"), when)
        || !AddressBook::recordSent(settings, QStringLiteral("n0call"), when.addSecs(5))) {
        std::fprintf(stderr, "the address book cannot be written\n");
        return 1;
    }
    seed("address_book", "sent-file", "\x01" + readAll(settings.path(AddressBook::sentFile)));
    seed("address_book", "sent-in-order",
         "\x02\x10\x20\x02" + join({"\x01TO: K7X, DL1ABC-2", raw("\x00\x00n0call;k7x"), "\x3a\x02" "FROM- W1AW"}) + raw("\x00\x05") + stations);

    // The modem's frames: a whole conversation as the modem program sends it.
    AgwFrame versionAnswer = AgwFrame::version();
    versionAnswer.data = raw("\x07\x00\x00\x00\x0b\x00\x00\x00");
    AgwFrame portsAnswer = AgwFrame::ports();
    portsAnswer.data = QByteArrayLiteral("1;Port1 sound card;\0");
    AgwFrame connected = AgwFrame::connectTo(0, "DL1ABC-2", "K7X");
    connected.data = "*** CONNECTED With Station DL1ABC-2\r";
    AgwFrame waiting = AgwFrame::outstanding(0, "K7X", "DL1ABC-2");
    waiting.kind = 'y';
    waiting.data = QByteArray("\x03\x00\x00\x00", 4);
    const QByteArray conversation = versionAnswer.encode() + portsAnswer.encode() + connected.encode()
                                    + AgwFrame::sessionData(0, "DL1ABC-2", "K7X", record).encode() + waiting.encode()
                                    + AgwFrame::disconnect(0, "DL1ABC-2", "K7X").encode();
    seed("agw_frames", "conversation", "\x97\x05" + conversation);
    seed("agw_frames", "past-the-bound", QByteArray("\x03\x10\x09", 3) + AgwFrame::sessionData(1, "K7X", "W1AW", QByteArray(40, 'x')).encode());
    seed("agw_frames", "built",
         "\xc5\x03" + join({raw("\x00\x01K7X"), "", "", "\x02\x05" "DL1ABC-15", "W1AW", "", "\x01\x08K7X-1", "N0CALL", "73 de K7X\r",
                              raw("\x00\x07TOOLONGCALL"), "N0CALL-16", ""}));

    // The transfer log: records, a line of any bytes and a line cut short.
    const TransferRecord sent{QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9, 120), Qt::OffsetFromUTC, 3600),
                              TransferRecord::Direction::Sent, QStringLiteral("10.0.0.1"), QStringLiteral("a, \"b\".txt"), 1234,
                              TransferRecord::Result::Complete, 1234, when, QString()};
    const QByteArray sentLine = TransferLog::line(sent);
    seed("transfer_log", "records",
         QByteArray("\x03\x05\x01\x00", 4)
             + recordPieces(0x08, 1796645109, 120, 60, 1234, "10.0.0.1", "MAIL - From- K7X--14-05-09--12-07-26.dat", "")
             + recordPieces(0x05, 1796645200, 999, 20, 0, "fe80::1", "a,b.dat", "the station did not answer\r\nin 60 s")
             + raw("\x00") + sentLine.chopped(2) + '\0' + raw("\x00") + sentLine.left(30) + '\0' + raw("\x00garbage \"line") + '\0');
    seed("transfer_log", "tail", QByteArray("\x01\x02\x00\x80", 4) + raw("\x00") + sentLine.chopped(2) + '\0'
                                      + recordPieces(0x0b, 1796645300, 5, 70, 99, "peer", "file", "detail"));

    // Saved messages: as the desk saves them, and an archive of older ways.
    seed("message_search", "saved", "\x01\x01\x1a\x0b\x06\x0e\x05\x09" + join({"TO: K7X", "Hi", "line one\r\nline, two \"quoted\"", "FROM- W1AW", "", "", "", ""}));
    seed("message_search", "archive",
         raw("\x00") + Modsavemodule::archiveRecord({QStringLiteral("TO: K7X"), QStringLiteral("S"), QStringLiteral("a, \"b\""), QStringLiteral("W1AW")})
             + "\r\nTO: A1B,old,message cut\nby a line break,FROM- C\r\nTO,S,one,two,three,FROM\r\n" + record);

    seed("setting_files", "directory", join({"\x01", "C:\\mail send\r\n", "/home/op/mail send"}));
    seed("setting_files", "record", join({"\x02", "\"#TRUE#\",\"x\"\r\nsecond line\r\n", "value, with comma"}));
    seed("setting_files", "number", join({"\x03", "  -1  \r\n", "0"}));

    // The receive machine: how-byte, then a piece, again and again.
    const QByteArray header1 = "MAIL:MAIL - From- K7X--14-05-09--12-07-26.dat\r\n";
    seed("receive_machine", "mail", join({"\x40\x01\x3f" + header1, "\x20" + record.left(32), "\x3f" + record.mid(32)}));
    seed("receive_machine", "chat", join({QByteArrayLiteral("\x40\x00\xc0") + "CHAT:hello\r\nhow are", "\xa0 you?\r\n<RESET>\r\n"}));
    seed("receive_machine", "refused", join({"\x10\x01\x3f" "FILE:../x\r\n", "\x3f" "FILE:.hidden\r\n"}));

    seed("modem_text", "console", "npr> status\r\n  OK  \r\n\xff\xfb\x01\r\n\x1b[A\rlast");
    seed("socket_table", "tcp",
         QByteArrayLiteral("\x00\x17")
         + "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
         "   0: 0100007F:0017 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 1 1\n"
         "   1: 0100007F:0017 0100007F:C350 01 00000000:00000000 00:00000000 00000000  1000        0 2 1\n"
         "   2: 00000000000000000000000001000000:0017 00000000000000000000000000000000:0000 0A 0 0 0 0 0 0\n");
    return 0;
}
