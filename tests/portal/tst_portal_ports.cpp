#include "PortalStation.h"
#include "TestFiles.h"
#include "SocketTable.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QListWidget>

namespace {

/// A line of a Linux socket table: local and remote endpoint in hex, state.
QByteArray tableLine(const char *local, const char *remote, const char *state)
{
    return QByteArray("   0: ") + local + ' ' + remote + ' ' + state +
           " 00000000:00000000 00:00000000 00000000  1000        0 1 1 0 100 0 0 10 0\n";
}

const QByteArray tableHeading =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

} // namespace

/// The window talks to the operating system only through its ports; the
/// real adapters are checked on folders of their own.
class PortalPortsTest : public QObject
{
    Q_OBJECT

private slots:
    // The window with fakes.
    void checkPortAsksTheSocketList_data();
    void checkPortAsksTheSocketList();
    void soundSwitchFailureIsShown();
    void stationListFailureIsShownAndEntryStays_data();
    void stationListFailureIsShownAndEntryStays();
    void stationIdComesFromItsStore();

    // The real adapters.
    void procSocketListReadsBothTables_data();
    void procSocketListReadsBothTables();
    void procSocketListSeesARealListener();
    void soundFileHoldsTheSwitch();
    void soundFileFailureNamesPathAndReason();
    void stationFileRoundTrip();
    void stationFileFailureNamesPathAndReason();
};

void PortalPortsTest::checkPortAsksTheSocketList_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("shown");
    const QString listen = QStringLiteral("  TCP    0.0.0.0:%1 0.0.0.0:0 LISTENING");
    const QString other = QStringLiteral("  TCP    127.0.0.1:5555 127.0.0.1:80 ESTABLISHED");
    QTest::addRow("listener shown, others not") << QStringList{other, listen} << QString() << QStringList{listen};
    QTest::addRow("nothing on the port") << QStringList{other} << QString() << QStringList{};
    QTest::addRow("table unreadable") << QStringList{listen} << QStringLiteral("The socket list /x cannot be read: denied")
                                      << QStringList{};
}

void PortalPortsTest::checkPortAsksTheSocketList()
{
    QFETCH(QStringList, table);
    QFETCH(QString, failure);
    QFETCH(QStringList, shown);
    FakeSocketList sockets;
    PortalStation station(0, 0);
    station.sockets = &sockets;
    station.start();
    const quint16 port = station.link().listenPort();
    for (QString &line : table)
        line = line.arg(port);
    for (QString &line : shown)
        line = line.arg(port);
    sockets.lines = table;
    sockets.failure = failure;
    station.click("commandcheckport");
    QCOMPARE(sockets.reads, 1);
    QStringList expected;
    for (const QString &line : shown)
        expected.append(QStringLiteral("[CheckPort] Port %1 is in use: %2").arg(port).arg(line));
    if (failure.isEmpty())
        expected.append(QStringLiteral("[CheckPort] Scan complete for port %1").arg(port));
    else
        expected = QStringList{QStringLiteral("[CHECKPORT ERR 53] ") + failure};
    QCOMPARE(station.text("Txtlogrecv").split(u'\n', Qt::SkipEmptyParts), expected);
}

void PortalPortsTest::soundSwitchFailureIsShown()
{
    FakeSoundSetting sound;
    sound.failure = QStringLiteral("The sound setting cannot be written to /ro/soundsettings.dat: Read-only file system");
    PortalStation station(0, 0);
    station.sound = &sound;
    station.start();
    auto *box = station.find<QCheckBox>("Chksoundtoggle");
    box->click();
    box->click();
    QCOMPARE(sound.stored, QList<bool>({box->isChecked() ? false : true, box->isChecked()}));
    QCOMPARE(station.text("Txtlogrecv").count(sound.failure), 2);
    // The switch is still announced: the operator hears what was chosen.
    QCOMPARE(station.speaker.phrases.size(), 2);
}

void PortalPortsTest::stationListFailureIsShownAndEntryStays_data()
{
    QTest::addColumn<bool>("deleting");
    QTest::addRow("add") << false;
    QTest::addRow("delete") << true;
}

void PortalPortsTest::stationListFailureIsShownAndEntryStays()
{
    QFETCH(bool, deleting);
    FakeStationStore stations;
    stations.entries = QStringList{"A-1.1.1.1", "B-2.2.2.2"};
    PortalStation station(0, 0);
    station.stations = &stations;
    station.start();
    auto *list = station.find<QListWidget>("List1");
    QCOMPARE(list->count(), 2);
    stations.failure = QStringLiteral("/ro/listitems.txt: Permission denied");
    if (deleting) {
        list->setCurrentRow(0);
        station.click("Commanddelete");
    } else {
        station.find<QLineEdit>("Text1")->setText(QStringLiteral("C-3.3.3.3"));
        station.click("Commandadd");
    }
    const QString tag = deleting ? QStringLiteral("[DELETE ERR 75] ") : QStringLiteral("[ADD ERR 75] ");
    QCOMPARE(station.prompter.texts, QStringList{tag + stations.failure});
    QCOMPARE(station.prompter.icons, QList<Prompter::Icon>{Prompter::Icon::Critical});
    QCOMPARE(stations.entries, QStringList({"A-1.1.1.1", "B-2.2.2.2"}));
    QCOMPARE(list->count(), deleting ? 1 : 3);
}

void PortalPortsTest::stationIdComesFromItsStore()
{
    FakeStationIdStore stationId;
    stationId.id = QStringLiteral(" K1ABC ");
    PortalStation station(0, 0);
    station.stationId = &stationId;
    station.start();
    auto *box = station.find<QLineEdit>("Txtstationid");
    QCOMPARE(box->text(), QStringLiteral(" K1ABC "));
    box->setText(QStringLiteral("N0CALL"));
    QCOMPARE(stationId.stores, 0);
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(box, &out);
    QCOMPARE(stationId.stores, 1);
    QCOMPARE(stationId.id, QStringLiteral("N0CALL"));
}

void PortalPortsTest::procSocketListReadsBothTables_data()
{
    QTest::addColumn<QByteArray>("tcp");
    QTest::addColumn<QByteArray>("tcp6");
    QTest::addColumn<QStringList>("endpoints");
    const QByteArray v4 = tableHeading + tableLine("0100007F:0017", "00000000:0000", "0A");
    const QByteArray v6 = tableHeading + tableLine("00000000000000000000000001000000:0050",
                                                   "00000000000000000000000000000000:0000", "0A");
    QTest::addRow("both tables") << v4 << v6 << QStringList{"127.0.0.1:23", "[::1]:80"};
    QTest::addRow("no IPv6 table") << v4 << QByteArray("<none>") << QStringList{"127.0.0.1:23"};
    QTest::addRow("no table at all") << QByteArray("<none>") << v6 << QStringList{};
}

void PortalPortsTest::procSocketListReadsBothTables()
{
    QFETCH(QByteArray, tcp);
    QFETCH(QByteArray, tcp6);
    QFETCH(QStringList, endpoints);
    QTemporaryDir folder;
    if (tcp != "<none>")
        TestFiles::put(folder.filePath(QStringLiteral("tcp")), tcp);
    if (tcp6 != "<none>")
        TestFiles::put(folder.filePath(QStringLiteral("tcp6")), tcp6);
    ProcSocketList sockets(folder.path());
    QStringList lines{QStringLiteral("stale")};
    const PortalOutcome outcome = sockets.read(lines);
    const bool read = outcome.ok();
    const QString failure = outcome.why();
    QCOMPARE(read, tcp != "<none>");
    if (!read) {
        QVERIFY(lines.isEmpty());
        QVERIFY2(failure.contains(QDir::toNativeSeparators(folder.filePath(QStringLiteral("tcp")))), qPrintable(failure));
        QVERIFY2(failure.endsWith(QStringLiteral(": No such file or directory")), qPrintable(failure));
        return;
    }
    QCOMPARE(lines.size(), endpoints.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].simplified().startsWith(QStringLiteral("TCP %1 ").arg(endpoints[i])), qPrintable(lines[i]));
}

void PortalPortsTest::procSocketListSeesARealListener()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ProcSocketList sockets;
    QStringList lines;
    const PortalOutcome read = sockets.read(lines);
    QVERIFY2(read.ok(), qPrintable(read.why()));
    QVERIFY(!SocketTable::usingPort(lines, server.serverPort()).isEmpty());
}

void PortalPortsTest::soundFileHoldsTheSwitch()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("soundsettings.dat"));
    TestFiles::put(path, "old longer content\r\n");
    FileSoundSetting sound(path);
    QVERIFY(sound.store(true).ok());
    QCOMPARE(TestFiles::read(path, "<missing>"), QByteArray("1\r\n"));
    QVERIFY(sound.store(false).ok());
    QCOMPARE(TestFiles::read(path, "<missing>"), QByteArray("0\r\n"));
}

void PortalPortsTest::soundFileFailureNamesPathAndReason()
{
    QTemporaryDir folder;
    // A folder in the file's place cannot be opened for writing.
    const QString path = folder.filePath(QStringLiteral("soundsettings.dat"));
    QVERIFY(QDir().mkdir(path));
    FileSoundSetting sound(path);
    const QString failure = sound.store(true).why();
    QVERIFY2(failure.startsWith(QStringLiteral("The sound setting cannot be written to %1: ")
                                    .arg(QDir::toNativeSeparators(path))),
             qPrintable(failure));
    QVERIFY2(failure.size() > failure.indexOf(QStringLiteral(": ")) + 2, qPrintable(failure)); // a reason follows
}

void PortalPortsTest::stationFileRoundTrip()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("listitems.txt"));
    FileStationStore stations(path);
    QCOMPARE(stations.load(), QStringList());
    QVERIFY(stations.append(QStringLiteral("A-1.1.1.1")).ok());
    QVERIFY(stations.append(QStringLiteral("caf\u00e9-2.2.2.2")).ok());
    QCOMPARE(TestFiles::read(path, "<missing>"), QByteArray("A-1.1.1.1\r\ncaf\xe9-2.2.2.2\r\n"));
    QCOMPARE(stations.load(), QStringList({"A-1.1.1.1", QStringLiteral("caf\u00e9-2.2.2.2")}));
    QVERIFY(stations.rewrite({QStringLiteral("B-3.3.3.3")}).ok());
    QCOMPARE(stations.load(), QStringList{"B-3.3.3.3"});
}

void PortalPortsTest::stationFileFailureNamesPathAndReason()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("listitems.txt"));
    QVERIFY(QDir().mkdir(path));
    FileStationStore stations(path);
    for (const QString &failure : {stations.append(QStringLiteral("A-1.1.1.1")).why(), stations.rewrite({}).why()})
        QVERIFY2(failure.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ")), qPrintable(failure));
    QVERIFY(QFileInfo(path).isDir());
}

PORTAL_TEST_MAIN(PortalPortsTest)
#include "tst_portal_ports.moc"
