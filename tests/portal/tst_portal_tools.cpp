#include "ModemLink.h"
#include "TestWaits.h"
#include "PortalStation.h"

#include <QCheckBox>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

/// A telnet-style console on loopback standing in for the NPR modem.
struct FakeModem
{
    FakeModem() { server.listen(QHostAddress::LocalHost, 0); }
    bool accept()
    {
        // The portal dials from this thread: its events run while the modem waits.
        if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, TestWaits::settleMs))
            return false;
        console = server.nextPendingConnection();
        return true;
    }
    QByteArray readFor(int ms)
    {
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QTest::qWait(10);
            got += console->readAll();
        }
        return got;
    }
    QByteArray readUntil(const QByteArray &expected)
    {
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (!got.contains(expected) && waited.elapsed() < TestWaits::settleMs) {
            QTest::qWait(10);
            got += console->readAll();
        }
        return got;
    }
    void send(const QByteArray &bytes)
    {
        console->write(bytes);
        console->flush();
        QTest::qWait(60); // each piece arrives on its own
    }
    QTcpServer server;
    QTcpSocket *console = nullptr;
};

} // namespace

class PortalToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void modemConsole();
    void modemHangsUpAndReconnects();
    void modemNotAnswering();
    void checkPortListsTheListener();
    void soundBox();
    void returnToPacketMail_data();
    void returnToPacketMail();
};

void PortalToolsTest::modemConsole()
{
    FakeModem modem;
    PortalStation station(0, 0, modem.server.serverPort());
    station.start();
    station.click("Cmdconnect");
    QVERIFY(modem.accept());
    QCOMPARE(modem.readUntil("\r\n"), QByteArray("\r\n"));
    station.click("Cmdconnect");
    QTest::qWait(200);
    QVERIFY(!modem.server.hasPendingConnections());

    const QString before = station.text("Txtlogrecv");
    modem.send("\xff\xfb\x01\xff\xfb\x03\xff\xfd\x18");
    modem.send("a\r\nb\rc\n");
    modem.send("\x1b[A\r\n  NPR> ");
    TRY_VERIFY(station.text("Txtlogrecv").endsWith(QStringLiteral("NPR>\n")));
    // The first modem line starts below the last status entry, not on its line.
    QCOMPARE(station.text("Txtlogrecv"), before + QStringLiteral("\na\nb\nc\nNPR>\n"));

    auto *command = station.find<QLineEdit>("Txtcommand");
    command->setText(QStringLiteral("    "));
    QTest::keyClick(command, Qt::Key_Return);
    QCOMPARE(command->text(), QStringLiteral("    "));
    command->setText(QStringLiteral("  radio status  "));
    QTest::keyClick(command, Qt::Key_Return);
    QCOMPARE(modem.readUntil("\r\n"), QByteArray("radio status\r\n"));
    QVERIFY(station.text("Txtlogrecv").endsWith(QStringLiteral(">> radio status\n")));
    QCOMPARE(command->text(), QString());
    command->setText(QStringLiteral("version"));
    station.click("Cmdsendcommand");
    QCOMPARE(modem.readUntil("\r\n"), QByteArray("version\r\n"));

    station.click("cmddisconnect");
    QVERIFY(station.text("Txtlogrecv").endsWith(QStringLiteral("Connection closed.\n")));
    // Ctrl-C arrives, then the close.
    QByteArray last;
    QElapsedTimer waited;
    waited.start();
    while (modem.console->state() == QAbstractSocket::ConnectedState && waited.elapsed() < TestWaits::settleMs) {
        QTest::qWait(10);
        last += modem.console->readAll();
    }
    last += modem.console->readAll();
    QCOMPARE(last, QByteArray("\x03"));
    QCOMPARE(modem.console->state(), QAbstractSocket::UnconnectedState);

    // Not connected: End Connection sends and shows nothing.
    const QString after = station.text("Txtlogrecv");
    station.click("cmddisconnect");
    QCOMPARE(station.text("Txtlogrecv"), after);
}

void PortalToolsTest::modemHangsUpAndReconnects()
{
    FakeModem modem;
    PortalStation station(0, 0, modem.server.serverPort());
    station.start();
    station.click("Cmdconnect");
    QVERIFY(modem.accept());
    modem.readUntil("\r\n");
    modem.console->disconnectFromHost();
    TRY_VERIFY(station.text("Txtlogrecv").endsWith(QStringLiteral("The modem closed the connection.\n")));
    station.click("Cmdconnect");
    QVERIFY(modem.accept());
    QCOMPARE(modem.readUntil("\r\n"), QByteArray("\r\n"));
}

void PortalToolsTest::modemNotAnswering()
{
    PortalStation station(0, 0, freePort());
    station.start();
    station.click("Cmdconnect");
    TRY_VERIFY(station.text("Txtlogrecv").contains(QStringLiteral("Modem link error: ")));
    QVERIFY(!station.window->modemLink().connected());
    auto *command = station.find<QLineEdit>("Txtcommand");
    command->setText(QStringLiteral("status"));
    station.click("Cmdsendcommand");
    QCOMPARE(command->text(), QStringLiteral("status"));
}

void PortalToolsTest::checkPortListsTheListener()
{
    PortalStation station(0, 0);
    station.start();
    const quint16 port = station.link().listenPort();
    station.click("commandcheckport");
    const QStringList lines = station.text("Txtlogrecv").split(u'\n');
    QCOMPARE(lines.last(), QStringLiteral("[CheckPort] Scan complete for port %1").arg(port));
    QVERIFY2(lines.first().startsWith(QStringLiteral("[CheckPort] Port %1 is in use: ").arg(port)), qPrintable(lines.first()));
    bool listener = false;
    for (const QString &line : lines)
        listener = listener || (line.contains(QStringLiteral(":%1 ").arg(port)) && line.contains(QStringLiteral("LISTENING")));
    QVERIFY(listener);
}

void PortalToolsTest::soundBox()
{
    PortalStation station(0, 0);
    station.desktop.muteFailure = QStringLiteral("no mixer");
    station.start();
    auto *box = station.find<QCheckBox>("Chksoundtoggle");
    QFile setting(station.soundSettingPath());
    box->click();
    QVERIFY(setting.open(QIODevice::ReadOnly));
    QCOMPARE(setting.readAll(), QByteArray(box->isChecked() ? "1\r\n" : "0\r\n"));
    setting.close();
    box->click();
    QVERIFY(setting.open(QIODevice::ReadOnly));
    QCOMPARE(setting.readAll(), QByteArray(box->isChecked() ? "1\r\n" : "0\r\n"));
    QCOMPARE(station.desktop.muteToggles, 2);
    QCOMPARE(station.speaker.phrases, QStringList({"Sound on", "Sound off"}));
    // The missing mixer is told once, not at every click.
    QCOMPARE(station.text("Txtlogrecv").count(QStringLiteral("The system mute cannot be switched here (no mixer)")), 1);
}

void PortalToolsTest::returnToPacketMail_data()
{
    QTest::addColumn<bool>("deskRunning");
    QTest::addRow("desk running") << true;
    QTest::addRow("desk not running") << false;
}

void PortalToolsTest::returnToPacketMail()
{
    QFETCH(bool, deskRunning);
    PortalStation station(0, 0);
    station.desktop.deskRunning = deskRunning;
    station.start();
    station.click("cmdreturmmail");
    QCOMPARE(station.desktop.raised, QStringList{"VARUVO DARE1"});
    if (deskRunning) {
        QVERIFY(station.prompter.texts.isEmpty());
    } else {
        QCOMPARE(station.prompter.texts, QStringList{"TAVRIX Packet Mail not window found."});
        QCOMPARE(station.prompter.icons, QList<Prompter::Icon>{Prompter::Icon::Exclamation});
    }
}

PORTAL_TEST_MAIN(PortalToolsTest)
#include "tst_portal_tools.moc"
