#include "AnsiText.h"
#include "ModemText.h"
#include "Outbox.h"
#include "ReceiveName.h"
#include "SocketTable.h"
#include "StationList.h"
#include "StatusText.h"
#include "Wire.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class PortalCoreTest : public QObject
{
    Q_OBJECT

private slots:
    void trimSpacesLeavesTabsAndLineEnds();
    void ansiText_data();
    void ansiText();
    void stationListRead();
    void stationListAppendAndRewrite();
    void stationListRewriteKeepsEveryByte();
    void addressOf_data();
    void addressOf();
    void newestOutboxFile_data();
    void newestOutboxFile();
    void receiveNameRefusal_data();
    void receiveNameRefusal();
    void controlCharactersNamed_data();
    void controlCharactersNamed();
    void transferHeader_data();
    void transferHeader();
    void modemText_data();
    void modemText();
    void socketTable();
    void portRule_data();
    void portRule();
};

void PortalCoreTest::trimSpacesLeavesTabsAndLineEnds()
{
    QCOMPARE(StatusText::trimSpaces(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    QCOMPARE(StatusText::trimSpaces(QStringLiteral("\t a \n")), QStringLiteral("\t a \n"));
    QCOMPARE(StatusText::trimSpaces(QStringLiteral("    ")), QString());
}

void PortalCoreTest::ansiText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("decoded");
    QTest::addRow("ascii") << "MAIL - 1.dat" << QByteArray("MAIL - 1.dat") << "MAIL - 1.dat";
    QTest::addRow("latin-1 letter") << QStringLiteral("\u00e9t\u00e9") << QByteArray("\xe9t\xe9") << QStringLiteral("\u00e9t\u00e9");
    QTest::addRow("windows table") << QStringLiteral("\u20ac\u2019\u0178") << QByteArray("\x80\x92\x9f")
                                   << QStringLiteral("\u20ac\u2019\u0178");
    QTest::addRow("missing letter becomes ?") << QStringLiteral("a\u0101b") << QByteArray("a?b") << "a?b";
    QTest::addRow("pair outside the plane is one ?") << QStringLiteral("x\U0001F600y") << QByteArray("x?y") << "x?y";
    // The five bytes the Windows table leaves undefined come in as control characters and go out unchanged.
    QTest::addRow("undefined bytes") << QStringLiteral("M\u0081\u008d\u008f\u0090\u009d") << QByteArray("M\x81\x8d\x8f\x90\x9d")
                                     << QStringLiteral("M\u0081\u008d\u008f\u0090\u009d");
}

void PortalCoreTest::ansiText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, decoded);
    QCOMPARE(AnsiText::encode(text), bytes);
    QCOMPARE(AnsiText::decode(bytes), decoded);
}

void PortalCoreTest::stationListRead()
{
    QByteArray content("  W1AW-10.0.0.1  \r\n\r\n   \r\nK2X - 10.0.0.2\r\nLAST-10.0.0.3");
    QBuffer file(&content);
    file.open(QIODevice::ReadOnly);
    QCOMPARE(StationList::read(file),
             QStringList({QStringLiteral("W1AW-10.0.0.1"), QStringLiteral("K2X - 10.0.0.2"), QStringLiteral("LAST-10.0.0.3")}));
}

void PortalCoreTest::stationListAppendAndRewrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listitems.txt"));
    QVERIFY(StationList::append(path, QStringLiteral("A-1.1.1.1")).ok());
    QVERIFY(StationList::append(path, QStringLiteral("B-2.2.2.2")).ok());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("A-1.1.1.1\r\nB-2.2.2.2\r\n"));
    file.close();

    QVERIFY(StationList::rewrite(path, {QStringLiteral("B-2.2.2.2")}).ok());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("B-2.2.2.2\r\n"));
    file.close();

    QVERIFY(StationList::rewrite(path, {}).ok());
    QCOMPARE(QFileInfo(path).size(), 0);

    QVERIFY(!StationList::append(dir.filePath(QStringLiteral("no/such/folder/listitems.txt")), QStringLiteral("x")).ok());
}

void PortalCoreTest::stationListRewriteKeepsEveryByte()
{
    // Every byte a list can hold in an entry, the code page's undefined ones included.
    QByteArray content("K7X\x81\x8d\x8f\x90\x9d - 10.0.0.1\r\n");
    for (int byte = 0x21; byte < 0x100; ++byte)
        content += "B" + QByteArray(1, char(byte)) + "-10.0.0.2\r\n";
    QBuffer file(&content);
    file.open(QIODevice::ReadOnly);
    const QStringList entries = StationList::read(file);
    QCOMPARE(entries.size(), 1 + 0x100 - 0x21);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listitems.txt"));
    QVERIFY(StationList::rewrite(path, entries).ok());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), content);
}

void PortalCoreTest::addressOf_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::addRow("callsign and address") << "TEST-10.0.0.5" << "10.0.0.5";
    QTest::addRow("spaces around the address") << "TEST -  10.0.0.5  " << "10.0.0.5";
    QTest::addRow("no dash copies the entry") << "10.0.0.7" << "10.0.0.7";
    QTest::addRow("callsign with its own dash") << "W1AW-5-10.0.0.9" << "10.0.0.9";
    QTest::addRow("trailing dash gives empty") << "W1AW-" << "";
}

void PortalCoreTest::addressOf()
{
    QFETCH(QString, entry);
    QFETCH(QString, address);
    QCOMPARE(StationList::addressOf(entry), address);
}

void PortalCoreTest::newestOutboxFile_data()
{
    // Each file: name and age in seconds (larger is older); "dir:" marks a folder.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("ages");
    QTest::addColumn<QString>("newest");
    QTest::addRow("empty folder") << QStringList() << QList<int>() << "";
    QTest::addRow("later modified wins") << QStringList({"MAIL - a.dat", "File - b.txt"}) << QList<int>({100, 10})
                                         << "File - b.txt";
    QTest::addRow("tie keeps the first listed") << QStringList({"b.dat", "A.dat", "c.dat"}) << QList<int>({50, 50, 50})
                                                << "A.dat";
    QTest::addRow("hidden files are skipped") << QStringList({".hidden.dat", "old.dat"}) << QList<int>({1, 500})
                                              << "old.dat";
    QTest::addRow("folders are skipped") << QStringList({"dir:newer", "x.txt"}) << QList<int>({1, 500}) << "x.txt";
}

void PortalCoreTest::newestOutboxFile()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, ages);
    QFETCH(QString, newest);
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QDateTime when = now.addSecs(-ages[i]);
        if (names[i].startsWith(u"dir:")) {
            QVERIFY(QDir(dir.path()).mkdir(names[i].mid(4)));
            continue;
        }
        QFile file(dir.filePath(names[i]));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        QVERIFY(file.flush()); // a later flush would stamp the file with the present time
        QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
    }
    QCOMPARE(Outbox::newestFile(dir.path()), newest);
}

void PortalCoreTest::receiveNameRefusal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::addRow("plain mail name") << "MAIL - From- AB--14-05-09--12-07-26.dat" << false;
    QTest::addRow("name with spaces around") << " MAIL x.dat " << false;
    QTest::addRow("empty") << "" << true;
    QTest::addRow("parent folder") << "../MAIL.dat" << true;
    QTest::addRow("dot dot alone") << ".." << true;
    QTest::addRow("absolute path") << "/etc/MAIL.dat" << true;
    QTest::addRow("backslash") << "MAIL\\x.dat" << true;
    QTest::addRow("windows parent") << "..\\..\\MAIL.dat" << true;
    QTest::addRow("drive prefix") << "C:MAIL.dat" << true;
    QTest::addRow("control character") << QStringLiteral("MAIL\u0001.dat") << true;
    QTest::addRow("the part-file folder") << ".incoming" << true;
    QTest::addRow("hidden name") << ".MAIL.dat" << true;
    QTest::addRow("dot inside is fine") << "MAIL.x.dat" << false;
}

void PortalCoreTest::controlCharactersNamed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("named");
    QTest::addRow("none") << "MAIL - 1.dat" << "";
    QTest::addRow("line end inside") << "MAIL\r\nx.dat" << "CR, LF";
    QTest::addRow("tab and delete") << QStringLiteral("File\t\u007f.txt") << "TAB, 0x7F";
    QTest::addRow("escape") << QStringLiteral("MAIL\u001b.dat") << "0x1B";
    QTest::addRow("code page letters are not control") << QStringLiteral("MAIL caf\u00e9.dat") << "";
}

void PortalCoreTest::controlCharactersNamed()
{
    QFETCH(QString, name);
    QFETCH(QString, named);
    QCOMPARE(ReceiveName::controlCharacters(name), named);
}

void PortalCoreTest::receiveNameRefusal()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    QCOMPARE(!ReceiveName::refusal(name).isEmpty(), refused);
}

void PortalCoreTest::transferHeader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("header");
    QTest::addRow("upper case dat is mail") << "abc.DAT" << QByteArray("MAIL:abc.DAT\r\n");
    QTest::addRow("other names are files") << "photo.jpg" << QByteArray("FILE:photo.jpg\r\n");
    QTest::addRow("reply mail travels as file") << "MAIL - 140509.txt" << QByteArray("FILE:MAIL - 140509.txt\r\n");
    QTest::addRow("dat inside the name") << "x.dat.txt" << QByteArray("FILE:x.dat.txt\r\n");
}

void PortalCoreTest::transferHeader()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, header);
    QCOMPARE(Wire::transferHeader(name), header);
}

void PortalCoreTest::modemText_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<QStringList>("shown");
    QTest::addRow("CR LF, CR and LF each end a line") << QByteArray("a\r\nb\rc\n") << QStringList{"a", "b", "c"};
    QTest::addRow("option negotiation alone") << QByteArray("\xff\xfb\x01\xff\xfd\x18") << QStringList{};
    QTest::addRow("negotiation spoils only its line") << QByteArray("\xff\xfb\x01login:\r\nready\r\n") << QStringList{"ready"};
    QTest::addRow("cursor sequence") << QByteArray("\x1b[A\r\nNPR> ") << QStringList{"NPR>"};
    QTest::addRow("spaces trimmed, tabs kept") << QByteArray("  x  \r\n\t\r\n   \r\n") << QStringList{"x", "\t"};
    QTest::addRow("blank lines dropped") << QByteArray("\r\n\r\n\n\r") << QStringList{};
}

void PortalCoreTest::modemText()
{
    QFETCH(QByteArray, arrival);
    QFETCH(QStringList, shown);
    QCOMPARE(ModemText::visibleLines(arrival), shown);
}

void PortalCoreTest::socketTable()
{
    QByteArray table(
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 00000000:0017 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
        "   1: 0100007F:9C40 0100007F:08FC 01 00000000:00000000 00:00000000 00000000     0        0 2 1\n"
        "   2: 00000000000000000000000000000000:0017 00000000000000000000000000000000:0000 0A 0 0 0 0 0 3\n"
        "   3: 0000000000000000FFFF00000100007F:0050 0000000000000000FFFF00000100007F:D431 06 0 0 0 0 0 4\n");
    QBuffer buffer(&table);
    buffer.open(QIODevice::ReadOnly);
    const QStringList lines = SocketTable::read(buffer);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0].simplified(), QStringLiteral("TCP 0.0.0.0:23 0.0.0.0:0 LISTENING"));
    QCOMPARE(lines[1].simplified(), QStringLiteral("TCP 127.0.0.1:40000 127.0.0.1:2300 ESTABLISHED"));
    QCOMPARE(lines[2].simplified(), QStringLiteral("TCP [::]:23 [::]:0 LISTENING"));
    QCOMPARE(lines[3].simplified(), QStringLiteral("TCP [::ffff:127.0.0.1]:80 [::ffff:127.0.0.1]:54321 TIME_WAIT"));
}

void PortalCoreTest::portRule_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("matches");
    QTest::addRow("local port") << "  TCP    0.0.0.0:23   0.0.0.0:0   LISTENING" << true;
    QTest::addRow("remote port 2300") << "  TCP    10.0.0.1:40000   10.0.0.2:2300   ESTABLISHED" << true;
    QTest::addRow("local port 230") << "  TCP    10.0.0.1:230   10.0.0.2:80   ESTABLISHED" << true;
    QTest::addRow("23 inside the port only") << "  TCP    10.0.0.1:1234   10.0.0.2:80   ESTABLISHED" << false;
    QTest::addRow("23 inside an address") << "  TCP    [2001:23::1]:80   [::]:0   LISTENING" << false;
}

void PortalCoreTest::portRule()
{
    QFETCH(QString, line);
    QFETCH(bool, matches);
    QCOMPARE(SocketTable::usingPort({line}, 23).size(), matches ? 1 : 0);
}

QTEST_GUILESS_MAIN(PortalCoreTest)
#include "tst_portal_core.moc"
