#include "AgwFrame.h"
#include "PortalStation.h"
#include "RadioLink.h"
#include "RadioSetting.h"
#include "ReceiveFolder.h"
#include "ReceiveMachine.h"
#include "TransferLog.h"
#include "Wire.h"

#include <QListWidget>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace {

/// A modem program on a loopback port that speaks the AGW protocol: it
/// answers registration, connects, counts and disconnects as a real one
/// does, keeps the session bytes it is given and plays the other station.
class FakeModem : public QObject
{
public:
    explicit FakeModem(bool acceptCall = true)
        : m_acceptCall(acceptCall)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, this, [this] {
                for (const AgwFrame &frame : parser.feed(client->readAll()))
                    answer(frame);
            });
        });
    }
    quint16 port() const { return server.serverPort(); }

    void callIn(const QByteArray &from)
    {
        reply('C', from, m_registered, "*** CONNECTED To Station " + from + "\r");
    }
    void sendData(const QByteArray &from, const QByteArray &data, int chunk)
    {
        for (qsizetype at = 0; at < data.size(); at += chunk) {
            AgwFrame f = AgwFrame::sessionData(0, from, m_registered, data.mid(at, chunk));
            client->write(f.encode());
        }
    }
    void hangUp(const QByteArray &from) { reply('d', from, m_registered, "*** DISCONNECTED From Station " + from + "\r"); }
    void raw(const QByteArray &bytes) { client->write(bytes); }

    QTcpServer server;
    QTcpSocket *client = nullptr;
    AgwParser parser;
    QByteArray given;        ///< session bytes the portal handed over
    QByteArray called;       ///< whom the portal called
    QHash<QByteArray, QByteArray> givenTo; ///< session bytes the portal handed over, by station
    QList<QByteArray> disconnected;        ///< stations the portal asked to disconnect, in order
    int disconnects = 0;     ///< disconnects the portal asked for
    bool answerDisconnect = true;
    bool holdAcks = false;   ///< the other station acknowledges nothing
    int frames = 0;

private:
    void reply(char kind, const QByteArray &from, const QByteArray &to, const QByteArray &data = {})
    {
        AgwFrame f;
        f.kind = kind;
        f.callFrom = from;
        f.callTo = to;
        f.data = data;
        client->write(f.encode());
    }
    void answer(const AgwFrame &frame)
    {
        switch (frame.kind) {
        case 'X':
            m_registered = frame.callFrom;
            reply('X', frame.callFrom, {}, QByteArray(1, m_acceptCall ? '\1' : '\0'));
            break;
        case 'C':
            called = frame.callTo;
            reply('C', frame.callTo, frame.callFrom, "*** CONNECTED With Station " + frame.callTo + "\r");
            break;
        case 'D':
            given += frame.data;
            givenTo[frame.callTo] += frame.data;
            ++frames;
            break;
        case 'Y': {
            // How many frames still wait for the other station's acknowledgement.
            QByteArray count(4, '\0');
            count[0] = char(holdAcks ? frames : 0);
            reply('Y', frame.callFrom, frame.callTo, count);
            break;
        }
        case 'd':
            ++disconnects;
            disconnected.append(frame.callTo);
            if (answerDisconnect)
                reply('d', frame.callTo, frame.callFrom, "*** DISCONNECTED From Station " + frame.callTo + "\r");
            break;
        default: break;
        }
    }
    bool m_acceptCall;
    QByteArray m_registered;
};

/// A portal whose link choice is the radio, on the given modem port.
struct RadioStation : PortalStation
{
    explicit RadioStation(quint16 agwPort, const QString &id = QStringLiteral("N0AAA"))
        : PortalStation(0, 0)
        , setting(home.filePath(QStringLiteral("program/radiomodem.ini")))
    {
        QFile file(setting.path());
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("link=radio\r\nagwport=%1\r\n").arg(agwPort).toLatin1());
        file.close();
        start();
        find<QLineEdit>("Txtstationid")->setText(id);
        window->setRadioSetting(&setting);
    }
    bool ready() const { return window->radioLink().registered(); }
    QString status() const { return text("Txtlogrecv"); }
    QStringList receivedNames() const
    {
        return QDir(setup.receiveDirectory).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }
    void pick(const QString &entry)
    {
        find<QLineEdit>("Text1")->setText(entry);
        click("Commandadd");
        auto *list = find<QListWidget>("List1");
        list->setCurrentRow(list->count() - 1);
    }
    RadioSetting setting;
};

QByteArray content(int size)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += QByteArray::number(i) + " radio line with bytes \xe9\xf6\r\n";
    bytes.truncate(size - 2);
    return bytes + "\r\n";
}

} // namespace

class PortalRadioTest : public QObject
{
    Q_OBJECT

private slots:
    void callsignOf_data();
    void callsignOf();
    void settingFile_data();
    void settingFile();
    void sendsTheIpWireBytesAndEndsInOrder();
    void sessionEndedEarlyIsNoDelivery();
    void receivesLikeAnIpConnection();
    void modemGoneMidReceiveKeepsNoFile();
    void chatBothWays();
    void busyCallerIsToldInWords_data();
    void busyCallerIsToldInWords();
    void busyCallersAreBounded();
    void sendingCallerHearsBusy_data();
    void sendingCallerHearsBusy();
    void chattingCallerReadsBusy();
    void silentModemIsGivenUp();
    void refusedCallsignIsSaid();
    void missingModemIsSaid();
    void garbageFromTheModemClosesTheLink();
    void ipChoiceIsStored();
    void armSaysWhyItCannotCall_data();
    void armSaysWhyItCannotCall();
};

void PortalRadioTest::callsignOf_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("call");
    QTest::addRow("call and address") << "n0bbb-192.168.0.65" << "N0BBB";
    QTest::addRow("call with ssid") << "N0BBB-2-10.0.0.9" << "N0BBB-2";
    QTest::addRow("spaces") << "  N0BBB - 10.0.0.9" << "N0BBB";
    QTest::addRow("station id alone") << "N0AAA-7" << "N0AAA-7";
    QTest::addRow("address only") << "192.168.0.65" << "";
    QTest::addRow("name too long") << "MYSTATION-10.0.0.1" << "";
    QTest::addRow("empty") << "" << "";
}

void PortalRadioTest::callsignOf()
{
    QFETCH(QString, entry);
    QFETCH(QString, call);
    QCOMPARE(RadioLink::callsignOf(entry), call);
}

void PortalRadioTest::settingFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("radio");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("problem");
    QTest::addRow("missing lines") << QByteArray() << false << "127.0.0.1" << 8000 << false;
    QTest::addRow("all set") << QByteArray("link=radio\r\nagwhost=127.0.0.2\r\nagwport=8010\r\n") << true << "127.0.0.2"
                             << 8010 << false;
    QTest::addRow("port out of range") << QByteArray("link=radio\nagwport=70000\n") << true << "127.0.0.1" << 8000
                                       << true;
    QTest::addRow("unknown link") << QByteArray("link=carrier pigeon\n") << false << "127.0.0.1" << 8000 << true;
    QTest::addRow("past the read limit") << QByteArray(RadioSetting::readLimit, '#') + "\nlink=radio\n" << false
                                         << "127.0.0.1" << 8000 << false;
}

void PortalRadioTest::settingFile()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, radio);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, problem);
    QTemporaryDir dir;
    const QString path = dir.filePath(RadioSetting::fileName());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const RadioSetting setting(path);
    const RadioSetting::Loaded loaded = setting.load();
    const RadioSetting::Choice &choice = loaded.choice;
    QCOMPARE(choice.radio, radio);
    QCOMPARE(choice.host, host);
    QCOMPARE(int(choice.port), port);
    QCOMPARE(!loaded.problem.isEmpty(), problem);
    // Storing the choice keeps host and port.
    QVERIFY(setting.storeRadio(!radio).ok());
    const RadioSetting::Choice back = setting.load().choice;
    QCOMPARE(back.radio, !radio);
    QCOMPARE(back.host, host);
    QCOMPARE(int(back.port), port);
}

void PortalRadioTest::sendsTheIpWireBytesAndEndsInOrder()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    const QByteArray mail = content(3000);
    station.putInOutbox(QStringLiteral("MAIL - note.dat"), mail);
    station.pick(QStringLiteral("N0BBB-2-10.0.0.9"));
    station.click("commandsend");
    QTRY_COMPARE_WITH_TIMEOUT(modem.given.size(), (Wire::transferHeader(QStringLiteral("MAIL - note.dat")) + mail).size(), 5000);
    QCOMPARE(modem.called, QByteArray("N0BBB-2"));
    QCOMPARE(modem.given, Wire::transferHeader(QStringLiteral("MAIL - note.dat")) + mail);
    // The end of the transfer is the session's end, and only that makes it delivered.
    QTRY_COMPARE_WITH_TIMEOUT(modem.disconnects, 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogsend").contains(QStringLiteral("MAIL - note.dat delivered")), 5000);
    QVERIFY(station.text("Txtlogsend").contains(QStringLiteral("ended in order")));
    QVERIFY(station.text("Txtlogsend").contains(QStringLiteral("N0BBB-2")));
}

void PortalRadioTest::sessionEndedEarlyIsNoDelivery()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    modem.holdAcks = true;
    station.putInOutbox(QStringLiteral("MAIL - note.dat"), content(4000));
    station.pick(QStringLiteral("N0BBB-10.0.0.9"));
    station.click("commandsend");
    QTRY_VERIFY_WITH_TIMEOUT(modem.given.size() > 0, 5000);
    // No more than a window of frames waits unacknowledged at the modem.
    QTest::qWait(1500);
    QCOMPARE(modem.given.size(), RadioLink::window * RadioLink::frameBytes);
    // The other station's modem ends the session before the portal does: retries ran out.
    modem.hangUp("N0BBB");
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogsend").contains(QStringLiteral("broken off")), 5000);
    QTest::qWait(200);
    QVERIFY(!station.text("Txtlogsend").contains(QStringLiteral("delivered")));
    QVERIFY(!station.text("Txtlogsend").contains(QStringLiteral("Send complete for")));
    QCOMPARE(modem.disconnects, 0);
}

void PortalRadioTest::receivesLikeAnIpConnection()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    const QByteArray mail = content(2500);
    modem.callIn("N0BBB-2");
    modem.sendData("N0BBB-2", Wire::transferHeader(QStringLiteral("MAIL - from radio.dat")) + mail, 97);
    modem.hangUp("N0BBB-2");
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("Closed receive file")), 5000);
    QCOMPARE(station.receivedNames().size(), 1);
    QCOMPARE(station.received(station.receivedNames().first()), mail);
    QVERIFY(station.status().contains(QStringLiteral("from N0BBB-2")));
}

void PortalRadioTest::modemGoneMidReceiveKeepsNoFile()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    modem.callIn("N0BBB");
    modem.sendData("N0BBB", Wire::transferHeader(QStringLiteral("MAIL - cut.dat")) + content(900), 128);
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("Opened receive file")), 5000);
    QTest::qWait(100);
    modem.client->abort();
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("broken off after")), 5000);
    QVERIFY(station.status().contains(QStringLiteral("closed the AGW connection")));
    QCOMPARE(station.receivedNames(), QStringList());
    QVERIFY(!station.ready());
}

void PortalRadioTest::chatBothWays()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    modem.callIn("N0BBB");
    modem.sendData("N0BBB", Wire::chatLine(QStringLiteral("N0BBB-hello by radio")), 5);
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtchatrecv").contains(QStringLiteral("N0BBB-hello by radio")), 5000);
    station.find<QLineEdit>("Txtchatsend")->setText(QStringLiteral("and back"));
    station.click("commandchatsend");
    QTRY_COMPARE_WITH_TIMEOUT(modem.given, Wire::chatLine(QStringLiteral("N0AAA-and back")), 5000);
}

void PortalRadioTest::busyCallerIsToldInWords_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::addRow("line confirmed by the caller") << true;
    QTest::addRow("line never confirmed") << false;
}

void PortalRadioTest::busyCallerIsToldInWords()
{
    QFETCH(bool, confirmed);
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    RadioLink &radio = station.window->radioLink();
    radio.setStallLimit(1500);
    modem.callIn("N0BBB");
    QTRY_VERIFY_WITH_TIMEOUT(radio.sessionOpen(), 5000);
    modem.holdAcks = !confirmed;
    modem.callIn("N0CCC");
    QTRY_VERIFY_WITH_TIMEOUT(modem.givenTo.contains("N0CCC"), 5000);
    if (!confirmed) {
        // A disconnect now could drop the line still queued in the modem.
        QTest::qWait(600);
        QVERIFY(!modem.disconnected.contains("N0CCC"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(modem.disconnected.contains("N0CCC"), 5000);
    QCOMPARE(radio.busyCallers(), 0);

    // One line in words, naming both stations; the session in progress goes on.
    const QByteArray line = modem.givenTo.value("N0CCC");
    QVERIFY(line.endsWith("\r\n"));
    QCOMPARE(line.count("\r\n"), 1);
    QVERIFY(line.toLower().contains("busy"));
    QVERIFY(line.contains("N0AAA") && line.contains("N0BBB"));
    QVERIFY(radio.sessionOpen());
    QVERIFY(!modem.disconnected.contains("N0BBB"));
    QVERIFY(station.status().contains(QStringLiteral("A radio call from N0CCC was turned away")));

    // What a calling portal's receive machine makes of it: nothing stored
    // while it sends mail, the words themselves while it chats.
    for (const bool chatting : {false, true}) {
        QTemporaryDir folder;
        ReceiveFolder sink(folder.path());
        ReceiveMachine machine(sink);
        const QList<ReceiveMachine::Event> events = machine.feed(line, chatting);
        QVERIFY(!machine.fileOpen());
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        if (!chatting) {
            QVERIFY(events.isEmpty());
            continue;
        }
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().kind, ReceiveMachine::Kind::ChatText);
        QCOMPARE(events.first().text, QString::fromLatin1(line.chopped(2)));
    }
}

void PortalRadioTest::busyCallersAreBounded()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    RadioLink &radio = station.window->radioLink();
    modem.callIn("N0BBB");
    QTRY_VERIFY_WITH_TIMEOUT(radio.sessionOpen(), 5000);
    modem.holdAcks = true;
    QList<QByteArray> callers;
    for (int i = 0; i <= RadioLink::busyCallersLimit; ++i) {
        callers.append("N1C" + QByteArray::number(i));
        modem.callIn(callers.last());
    }
    const QByteArray last = callers.last();
    QTRY_VERIFY_WITH_TIMEOUT(modem.disconnected.contains(last), 5000);
    // The one past the limit goes without a word; the others wait for their line.
    QVERIFY(!modem.givenTo.contains(last));
    QCOMPARE(radio.busyCallers(), RadioLink::busyCallersLimit);
    QCOMPARE(modem.disconnected, QList<QByteArray>{last});
    // A caller that hangs up itself is forgotten.
    modem.hangUp(callers.first());
    QTRY_COMPARE_WITH_TIMEOUT(radio.busyCallers(), RadioLink::busyCallersLimit - 1, 5000);
    QVERIFY(radio.sessionOpen());
}

void PortalRadioTest::sendingCallerHearsBusy_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("hangsUpFirst");
    // Larger than the loopback buffers hold: the portal is still handing the mail over.
    QTest::addRow("while the mail is handed over") << 6 * 1024 * 1024 << false << false;
    QTest::addRow("after the last byte was handed over") << 3000 << false << false;
    // Its modem confirmed every frame and our disconnect is out: an orderly end would look like a delivery.
    QTest::addRow("after every frame was confirmed") << 3000 << true << false;
    QTest::addRow("the busy station hangs up first") << 3000 << false << true;
}

void PortalRadioTest::sendingCallerHearsBusy()
{
    QFETCH(int, size);
    QFETCH(bool, confirmed);
    QFETCH(bool, hangsUpFirst);
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    modem.holdAcks = !confirmed;
    modem.answerDisconnect = !confirmed && !hangsUpFirst;
    station.putInOutbox(QStringLiteral("MAIL - note.dat"), content(size));
    station.pick(QStringLiteral("N0BBB-10.0.0.9"));
    station.click("commandsend");
    QTRY_VERIFY_WITH_TIMEOUT(modem.given.size() > 0, 5000);
    if (confirmed)
        QTRY_COMPARE_WITH_TIMEOUT(modem.disconnects, 1, 5000);
    else
        QTest::qWait(300);
    const QByteArray busy = "Busy: N0BBB is in a session with N0CCC. Please call again later.";
    // Split across frames, as a modem may deliver it.
    modem.sendData("N0BBB", busy + "\r\n", 9);
    if (confirmed || hangsUpFirst)
        modem.hangUp("N0BBB");

    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogsend").contains(QStringLiteral("refused")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!station.window->radioLink().sessionOpen(), 5000);
    QTest::qWait(300);
    const QString said = station.text("Txtlogsend");
    QVERIFY2(said.contains(QString::fromLatin1(busy)), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("delivered")) && !said.contains(QStringLiteral("Send complete for")) &&
                 !said.contains(QStringLiteral("broken off")),
             qPrintable(said));
    // The portal hangs up on a busy station instead of sending it the rest.
    QVERIFY(modem.disconnected.contains("N0BBB"));
    if (!confirmed)
        QVERIFY(modem.given.size() < size);

    TransferLog::Tail tail;
    QVERIFY(station.logFile->readLast(10, &tail));
    QCOMPARE(tail.records.size(), 1);
    const TransferRecord &record = tail.records.first();
    QCOMPARE(record.direction, TransferRecord::Direction::Sent);
    QCOMPARE(record.file, QStringLiteral("MAIL - note.dat"));
    QCOMPARE(record.result, TransferRecord::Result::Refused);
    QVERIFY2(record.detail.contains(QString::fromLatin1(busy)), qPrintable(record.detail));
    QCOMPARE(station.receivedNames(), QStringList());
}

void PortalRadioTest::chattingCallerReadsBusy()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    station.pick(QStringLiteral("N0BBB-10.0.0.9"));
    station.click("commandstartchat");
    QTRY_VERIFY_WITH_TIMEOUT(station.link().chatModeActive(), 5000);
    const QByteArray busy = "Busy: N0BBB is in a session with N0CCC. Please call again later.";
    modem.sendData("N0BBB", busy + "\r\n", 20);
    // A chat shows the words as they came; the portal hangs up and nothing is logged as a transfer.
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtchatrecv").contains(QString::fromLatin1(busy)), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(modem.disconnected.contains("N0BBB"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!station.window->radioLink().sessionOpen(), 5000);
    QVERIFY(station.text("Txtlogsend").contains(QStringLiteral("turned the call away")));
    TransferLog::Tail tail;
    QVERIFY(station.logFile->readLast(10, &tail));
    QCOMPARE(tail.records.size(), 0);
    QCOMPARE(station.receivedNames(), QStringList());
}

void PortalRadioTest::silentModemIsGivenUp()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    station.window->radioLink().setStallLimit(1500);
    modem.holdAcks = true;
    station.putInOutbox(QStringLiteral("MAIL - note.dat"), content(300));
    station.pick(QStringLiteral("N0BBB-10.0.0.9"));
    station.click("commandsend");
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogsend").contains(QStringLiteral("no frame was confirmed")), 6000);
    // Not delivered, and the link is free for the next call.
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogsend").contains(QStringLiteral("was not kept")), 5000);
    QVERIFY(!station.text("Txtlogsend").contains(QStringLiteral("delivered")));
    QCOMPARE(modem.disconnects, 1);
    QVERIFY(!station.window->radioLink().sessionOpen());
}

void PortalRadioTest::refusedCallsignIsSaid()
{
    FakeModem modem(false);
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("refused the callsign N0AAA")), 5000);
    QVERIFY(!station.ready());
    station.putInOutbox(QStringLiteral("MAIL - note.dat"), content(100));
    station.pick(QStringLiteral("N0BBB-10.0.0.9"));
    station.click("commandsend");
    QVERIFY(station.text("Txtlogsend").contains(QStringLiteral("Not called by radio: the modem program refused the callsign N0AAA")));
    QVERIFY(!station.status().contains(QStringLiteral("closed the AGW connection")));
    QVERIFY(modem.given.isEmpty());
}

void PortalRadioTest::missingModemIsSaid()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    RadioStation station(closedPort);
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("No radio modem program at 127.0.0.1 port %1")
                                                           .arg(closedPort)),
                             5000);
    QVERIFY(!station.ready());
}

void PortalRadioTest::garbageFromTheModemClosesTheLink()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    modem.raw(QByteArray("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n").leftJustified(40, 'x'));
    QTRY_VERIFY_WITH_TIMEOUT(station.status().contains(QStringLiteral("Radio link closed")), 5000);
    QVERIFY(!station.ready());
}

void PortalRadioTest::ipChoiceIsStored()
{
    FakeModem modem;
    RadioStation station(modem.port());
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
    station.find<QRadioButton>("Optipnetwork")->click();
    QVERIFY(!station.find<QRadioButton>("Optradiomodem")->isChecked());
    QVERIFY(!station.ready());
    QCOMPARE(station.setting.load().choice.radio, false);
    QCOMPARE(int(station.setting.load().choice.port), int(modem.port()));
    station.find<QRadioButton>("Optradiomodem")->click();
    QVERIFY(station.find<QRadioButton>("Optradiomodem")->isChecked());
    QVERIFY(!station.find<QRadioButton>("Optipnetwork")->isChecked());
    QCOMPARE(station.setting.load().choice.radio, true);
    QTRY_VERIFY_WITH_TIMEOUT(station.ready(), 5000);
}

void PortalRadioTest::armSaysWhyItCannotCall_data()
{
    QTest::addColumn<bool>("registered");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("why");

    QTest::newRow("not registered yet") << false << QStringLiteral("N0BBB")
                                        << QStringLiteral("the radio link is not ready (the modem program has not "
                                                          "registered N0AAA yet)");
    QTest::newRow("not a callsign") << true << QStringLiteral("10.0.0.9")
                                    << QStringLiteral("\"10.0.0.9\" is not a callsign; pick a station whose list "
                                                      "entry starts with its callsign");
    QTest::newRow("a callsign is armed") << true << QStringLiteral(" n0bbb-2 ") << QString();
}

void PortalRadioTest::armSaysWhyItCannotCall()
{
    QFETCH(bool, registered);
    QFETCH(QString, remote);
    QFETCH(QString, why);

    // A port nobody answers keeps the link unregistered.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 unanswered = closed.serverPort();
    closed.close();
    FakeModem modem;
    RadioLink link;
    link.start(QStringLiteral("127.0.0.1"), registered ? modem.port() : unanswered, QStringLiteral("N0AAA"), 60000);
    if (registered)
        QTRY_VERIFY_WITH_TIMEOUT(link.registered(), 5000);
    else
        QVERIFY(!link.registered());
    const PortalOutcome armed = link.arm(remote);
    QCOMPARE(armed.ok(), why.isEmpty());
    QCOMPARE(armed.why(), why);
}

QTEST_MAIN(PortalRadioTest)
#include "tst_portal_radio.moc"
