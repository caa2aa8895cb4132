#include "PortalStation.h"
#include "TestWaits.h"

#include <QFocusEvent>
#include <QListWidget>
#include <QSettings>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

/// A station the portal sends to, on a plain loopback socket: it reads only
/// when asked, so a transfer stays in flight, and it sees whether the
/// portal ended the connection in order or with a reset.
struct SlowReceiver
{
    enum class End { Open, Closed, Reset };

    SlowReceiver()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 16 * 1024;
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 4);
        ::fcntl(listener, F_SETFL, ::fcntl(listener, F_GETFL) | O_NONBLOCK);
    }
    ~SlowReceiver()
    {
        for (int fd : {connection, listener}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    quint16 port() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        return ntohs(address.sin_port);
    }
    bool accept()
    {
        QElapsedTimer waited;
        waited.start();
        while (connection < 0 && waited.elapsed() < TestWaits::settleMs) {
            connection = ::accept(listener, nullptr, nullptr);
            if (connection < 0)
                QTest::qWait(5);
        }
        return connection >= 0;
    }
    End readToEnd(int ms = 30000)
    {
        QElapsedTimer waited;
        waited.start();
        static char buffer[65536];
        while (waited.elapsed() < ms) {
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                received.append(buffer, n);
            else if (n == 0)
                return End::Closed;
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                return End::Reset;
            else
                QTest::qWait(1);
        }
        return End::Open;
    }

    int listener = -1;
    int connection = -1;
    QByteArray received;
};

QByteArray messageOf(qsizetype size)
{
    QByteArray content(size - 2, 'm');
    for (qsizetype i = 0; i < content.size(); i += 97)
        content[i] = char('A' + i % 26);
    return content + "\r\n";
}

} // namespace

class PortalWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void stationListLoadsTrimmedWithoutBlanks();
    void addStation_data();
    void addStation();
    void deleteStation();
    void pickStation_data();
    void pickStation();
    void stationIdStoredUntrimmedOnFocusLoss();
    void closeProgram_data();
    void closeProgram();
};

void PortalWindowTest::startUp()
{
    PortalStation station(0, 0);
    station.start();
    const quint16 port = station.link().listenPort();
    QVERIFY(port != 0);
    const QStringList lines = station.text("Txtlogrecv").split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString());
    QVERIFY(lines[1].startsWith(QStringLiteral("[] Socket status: LISTENING, LocalIP=")));
    QVERIFY(lines[1].endsWith(QStringLiteral(", LocalPort=%1").arg(port)));
    QCOMPARE(lines[2], QStringLiteral("Program started. Listening on port %1").arg(port));
    QCOMPARE(station.link().sendMode(), DataLink::SendMode::Idle);
    QVERIFY(!station.link().chatModeActive());
}

void PortalWindowTest::stationListLoadsTrimmedWithoutBlanks()
{
    PortalStation station(0, 0);
    QFile file(QDir(station.setup.programDirectory).filePath(QStringLiteral("listitems.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("W1AW-10.0.0.1\r\n\r\n    \r\n   K2X-10.0.0.2   \r\n");
    file.close();
    station.start();
    auto *list = station.find<QListWidget>("List1");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("W1AW-10.0.0.1"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("K2X-10.0.0.2"));
}

void PortalWindowTest::addStation_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::addRow("entry is trimmed and appended") << "  TEST-10.0.0.5 " << QByteArray("OLD-1.1.1.1\r\nTEST-10.0.0.5\r\n") << "";
    QTest::addRow("spaces only are refused") << "    " << QByteArray("OLD-1.1.1.1\r\n") << "Please type something first.";
}

void PortalWindowTest::addStation()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    PortalStation station(0, 0);
    station.start();
    station.find<QLineEdit>("Text1")->setText(QStringLiteral("OLD-1.1.1.1"));
    station.click("Commandadd");
    station.find<QLineEdit>("Text1")->setText(typed);
    station.click("Commandadd");
    QFile list(station.stationListPath());
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), file);
    QCOMPARE(station.find<QListWidget>("List1")->count(), file.count("\r\n"));
    QCOMPARE(station.prompter.texts, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(station.find<QLineEdit>("Text1")->text(), message.isEmpty() ? QString() : typed);
}

void PortalWindowTest::deleteStation()
{
    PortalStation station(0, 0);
    station.start();
    auto *list = station.find<QListWidget>("List1");
    station.click("Commanddelete");
    QCOMPARE(station.prompter.texts, QStringList{"Please select an item to delete."});
    for (const char *entry : {"A-1.1.1.1", "B-2.2.2.2"}) {
        station.find<QLineEdit>("Text1")->setText(QLatin1String(entry));
        station.click("Commandadd");
    }
    list->setCurrentRow(0);
    station.click("Commanddelete");
    QFile file(station.stationListPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("B-2.2.2.2\r\n"));
    file.close();
    list->setCurrentRow(0);
    station.click("Commanddelete");
    QCOMPARE(list->count(), 0);
    QCOMPARE(QFileInfo(station.stationListPath()).size(), 0);
}

void PortalWindowTest::pickStation_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::addRow("callsign and address") << "TEST-10.0.0.5" << "10.0.0.5";
    QTest::addRow("no dash") << "10.0.0.7" << "10.0.0.7";
    QTest::addRow("callsign with an SSID") << "N0CALL-10-10.1.1.1" << "10.1.1.1";
    QTest::addRow("dash inside the callsign") << "N0-CALL-10.1.1.1" << "10.1.1.1";
    QTest::addRow("SSID and spaces") << "N0CALL-10 -  10.1.1.1 " << "10.1.1.1";
    QTest::addRow("IPv6 address last") << "N0CALL-10-::1" << "::1";
    QTest::addRow("second piece is the address") << "K1-10.0.0.1-home" << "10.0.0.1";
    QTest::addRow("no piece is an address") << "W1-AW-gateway" << "AW";
    QTest::addRow("last piece out of range") << "N0CALL-10-10.1.1.300" << "10";
    QTest::addRow("last piece short form") << "N0CALL-10-10.1" << "10";
}

void PortalWindowTest::pickStation()
{
    QFETCH(QString, entry);
    QFETCH(QString, address);
    PortalStation station(0, 0);
    station.start();
    station.find<QLineEdit>("Text1")->setText(entry);
    station.click("Commandadd");
    auto *list = station.find<QListWidget>("List1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(station.find<QLineEdit>("Txtremoteip")->text(), address);
}

void PortalWindowTest::stationIdStoredUntrimmedOnFocusLoss()
{
    {
        PortalStation station(0, 0);
        station.start();
        auto *id = station.find<QLineEdit>("Txtstationid");
        id->setText(QStringLiteral("  TESTCALL "));
        QFocusEvent out(QEvent::FocusOut);
        QCoreApplication::sendEvent(id, &out);
    }
    QSettings store(QStringLiteral("telnet server"), QStringLiteral("telnet server"));
    QCOMPARE(store.value(QStringLiteral("Settings/StationID")).toString(), QStringLiteral("  TESTCALL "));
    PortalStation next(0, 0);
    next.start();
    QCOMPARE(next.find<QLineEdit>("Txtstationid")->text(), QStringLiteral("  TESTCALL "));
}

void PortalWindowTest::closeProgram_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<bool>("goOn");
    QTest::addRow("idle: closes without a question") << "none" << false;
    QTest::addRow("sending, operator stays") << "out" << false;
    QTest::addRow("sending, operator closes") << "out" << true;
    QTest::addRow("receiving, operator stays") << "in" << false;
    QTest::addRow("receiving, operator closes") << "in" << true;
}

void PortalWindowTest::closeProgram()
{
    QFETCH(QString, transfer);
    QFETCH(bool, goOn);
    SlowReceiver receiver;
    PortalStation station(0, receiver.port());
    station.start();
    station.window->show();
    station.prompter.answer = goOn;

    const QString name = QStringLiteral("MAIL - 120000.dat");
    const QByteArray content = messageOf(transfer == QLatin1String("out") ? 20 * 1024 * 1024 : 64 * 1024);
    const QByteArray header = "MAIL:" + name.toLatin1() + "\r\n";
    QTcpSocket sender;
    if (transfer == QLatin1String("out")) {
        station.putInOutbox(name, content);
        station.sendTo(QStringLiteral("127.0.0.1"));
        QVERIFY(receiver.accept());
    } else if (transfer == QLatin1String("in")) {
        sender.connectToHost(QHostAddress::LocalHost, station.link().listenPort());
        QTRY_COMPARE_WITH_TIMEOUT(sender.state(), QAbstractSocket::ConnectedState, TestWaits::settleMs);
        sender.write(header + content.left(content.size() / 2));
    }
    if (transfer != QLatin1String("none"))
        TRY_VERIFY(station.link().transferInProgress());

    station.click("Exit");
    const bool asked = transfer != QLatin1String("none");
    QCOMPARE(station.prompter.questions.size(), asked ? 1 : 0);
    const bool closes = !asked || goOn;
    QCOMPARE(station.window->isVisible(), !closes);

    if (transfer == QLatin1String("out")) {
        // Going on breaks the transfer off so the receiver can tell; staying lets it finish whole.
        const SlowReceiver::End end = receiver.readToEnd();
        QCOMPARE(end, goOn ? SlowReceiver::End::Reset : SlowReceiver::End::Closed);
        if (goOn)
            QVERIFY(receiver.received.size() < header.size() + content.size());
        else
            QVERIFY(receiver.received == header + content);
    } else if (transfer == QLatin1String("in")) {
        if (!goOn) {
            sender.write(content.mid(content.size() / 2));
            sender.disconnectFromHost();
            TRY_VERIFY(station.received(name) == content);
        } else {
            TRY_COMPARE(sender.state(), QAbstractSocket::UnconnectedState);
            QTest::qWait(50);
            QCOMPARE(station.received(name), QByteArray("<missing>"));
        }
    }
}

PORTAL_TEST_MAIN(PortalWindowTest)
#include "tst_portal_window.moc"
