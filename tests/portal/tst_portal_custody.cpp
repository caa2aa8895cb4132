#include "PortalStation.h"
#include "TestFiles.h"
#include "TestWaits.h"
#include "RawPeer.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <netinet/tcp.h>

namespace {

const QString loopback = QStringLiteral("127.0.0.1");

QByteArray randomBytes(qsizetype size, quint32 seed = 7)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

QString partFolder(const PortalStation &station)
{
    return station.setup.receiveDirectory + QStringLiteral("/.incoming");
}

bool listeningAgain(const PortalStation &station)
{
    return station.link().state() == DataLink::SocketPhase::Listening &&
           station.text("Txtlogrecv").startsWith(QStringLiteral("Listening again on port %1").arg(station.link().listenPort()));
}

/// Writes a file, making its folder first (the part-file folder is hidden and may not exist yet).
void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    TestFiles::put(path, content);
}

} // namespace

class PortalCustodyTest : public QObject, protected StationPair
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void peerEndDecidesWhatIsKept_data();
    void peerEndDecidesWhatIsKept();
    void localEndMidReceive_data();
    void localEndMidReceive();
    void refusedNamesChangeNothing_data();
    void refusedNamesChangeNothing();
    void unkeptNameAsksBeforeSending_data();
    void unkeptNameAsksBeforeSending();
    void controlCharacterNameIsNotSent();
    void chatNeverLeaksIntoTransfer();
    void abortedSendIsResetAtThePeer();
    void leftoversRemovedAtStart();
    void backToBackPeersAllReceived();
    void stationsSendingToEachOtherAtOnce();
    void slowAndSilentPeersAreClosed_data();
    void slowAndSilentPeersAreClosed();
    void chatMayIdle();
    void keepAliveOnTheSocket();
    void addressesAsTheOperatorKnowsThem_data();
    void addressesAsTheOperatorKnowsThem();
    void callerAndSizesShown();
    void progressOfSlowTransfers();
};

void PortalCustodyTest::init()
{
    openPair();
    QVERIFY(pairListening());
}

void PortalCustodyTest::cleanup()
{
    closePair();
}

void PortalCustodyTest::peerEndDecidesWhatIsKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<bool>("mayBeIncomplete");
    const QByteArray whole("84 79,83 85 66,89 79 85,70 82\r\n");
    QTest::addRow("orderly close after a whole message") << whole << false << true << false;
    QTest::addRow("orderly close in the middle of a line") << whole.left(12) << false << true << true;
    QTest::addRow("reset after half") << whole.left(12) << true << false << false;
    QTest::addRow("reset after every byte") << whole << true << false << false;
    QTest::addRow("reset after a large part") << randomBytes(2 * 1024 * 1024) << true << false << false;
}

void PortalCustodyTest::peerEndDecidesWhatIsKept()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, reset);
    QFETCH(bool, kept);
    QFETCH(bool, mayBeIncomplete);
    const QString name = QStringLiteral("MAIL - cut.dat");
    const QString target = QDir(m_b->setup.receiveDirectory).filePath(name);
    const QByteArray older("an older message of that name\r\n");
    writeFile(target, older);

    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("MAIL:" + name.toLatin1() + "\r\n" + content));
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Opened receive file: ") + name));
    // Every byte is with the portal before the end, so only the end decides.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(partFolder(*m_b) + u'/' + name).size() == content.size(), TestWaits::settleMs);
    if (reset)
        peer.reset();
    else
        peer.finish();
    TRY_VERIFY(listeningAgain(*m_b));

    const QString log = m_b->text("Txtlogrecv");
    QCOMPARE(m_b->received(name), kept ? content : older);
    QCOMPARE(log.contains(QStringLiteral("Closed receive file: ") + name), kept);
    QCOMPARE(log.contains(QStringLiteral("broken off")), !kept);
    QCOMPARE(log.contains(QStringLiteral("may be incomplete")), mayBeIncomplete);
    if (kept)
        QVERIFY2(log.contains(QStringLiteral("Received %1: %2 bytes from 127.0.0.1.").arg(name).arg(content.size())), qPrintable(log));
    QCOMPARE(filesIn(partFolder(*m_b)), QStringList());
}

void PortalCustodyTest::localEndMidReceive_data()
{
    QTest::addColumn<QString>("how");
    QTest::addRow("End Chat") << "commandendchat";
    QTest::addRow("Reconnect Last IP") << "Commandreconnect";
    QTest::addRow("a Send that starts a connection") << "commandsend";
    QTest::addRow("Close Program's abort") << "abortTransfer";
}

void PortalCustodyTest::localEndMidReceive()
{
    QFETCH(QString, how);
    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("FILE:File - half.txt\r\nfirst half of the file\r\n"));
    TRY_VERIFY(m_b->link().transferInProgress());
    TRY_VERIFY(QFileInfo(partFolder(*m_b) + QStringLiteral("/File - half.txt")).size() == 24);
    m_b->find<QLineEdit>("Txtremoteip")->setText(loopback);
    m_b->putInOutbox(QStringLiteral("MAIL - out.dat"), "outgoing\r\n");
    if (how == u"abortTransfer")
        m_b->link().abortTransfer();
    else
        m_b->click(how.toLatin1().constData());
    // The sending peer learns that its transfer did not arrive.
    QCOMPARE(peer.waitForEnd(), RawPeer::End::Reset);
    QVERIFY(!m_b->link().transferInProgress());
    QVERIFY2(m_b->text("Txtlogrecv").contains(QStringLiteral("Receive file File - half.txt broken off")),
             qPrintable(m_b->text("Txtlogrecv")));
    QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("Closed receive file")));
    QCOMPARE(m_b->received(QStringLiteral("File - half.txt")), QByteArray("<missing>"));
    QCOMPARE(filesIn(partFolder(*m_b)), QStringList());
}

void PortalCustodyTest::refusedNamesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("why");
    QTest::addRow("not a message name") << "notes.txt" << "does not begin with \"MAIL\" or \"FILE\"";
    QTest::addRow("photo") << "photo 1.jpg" << "does not begin with \"MAIL\" or \"FILE\"";
    QTest::addRow("the part-file folder") << ".incoming" << "begins with \".\"";
    QTest::addRow("hidden message name") << ".MAIL - x.dat" << "begins with \".\"";
}

void PortalCustodyTest::refusedNamesChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, why);
    const QByteArray older("the operator's own file\r\n");
    const QString target = QDir(m_b->setup.receiveDirectory).filePath(name);
    if (name != u".incoming")
        writeFile(target, older);
    else
        QVERIFY(QDir().mkpath(target));
    const QStringList before = QDir(m_b->setup.receiveDirectory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("FILE:" + name.toLatin1() + "\r\nreplacement content\r\n"));
    QVERIFY(peer.waitForEnd() != RawPeer::End::Open);
    TRY_VERIFY(listeningAgain(*m_b));
    const QString log = m_b->text("Txtlogrecv");
    QVERIFY2(log.contains(QStringLiteral("Refused receive file \"%1\"").arg(name)) && log.contains(why), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("The transfer was refused")));
    QVERIFY(!log.contains(QStringLiteral("Opened receive file")));
    QCOMPARE(QDir(m_b->setup.receiveDirectory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    if (name != u".incoming")
        QCOMPARE(m_b->received(name), older);
    QCOMPARE(filesIn(partFolder(*m_b)), QStringList());
}

void PortalCustodyTest::unkeptNameAsksBeforeSending_data()
{
    QTest::addColumn<bool>("withQuestion");
    QTest::addColumn<bool>("answer");
    QTest::addRow("no way to ask") << false << false;
    QTest::addRow("operator says no") << true << false;
    QTest::addRow("operator says yes") << true << true;
}

void PortalCustodyTest::unkeptNameAsksBeforeSending()
{
    QFETCH(bool, withQuestion);
    QFETCH(bool, answer);
    QStringList questions;
    if (withQuestion) {
        m_a->link().setConfirm([&](const QString &question) {
            questions.append(question);
            return answer;
        });
    } else {
        m_a->link().setConfirm({});
    }
    m_a->putInOutbox(QStringLiteral("photo 1.jpg"), randomBytes(1000));
    m_a->sendTo(loopback);
    QCOMPARE(questions.size(), withQuestion ? 1 : 0);
    if (withQuestion)
        QVERIFY(questions[0].contains(QStringLiteral("will not keep it")));
    if (!answer) {
        QVERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("Not sent: \"photo 1.jpg\"")));
        QTest::qWait(100);
        QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("ConnectionRequest")));
        return;
    }
    // Sent on the operator's word; the receiver keeps its rule and creates nothing.
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Refused receive file \"photo 1.jpg\"")));
    TRY_VERIFY(listeningAgain(*m_b));
    QCOMPARE(QDir(m_b->setup.receiveDirectory).entryList(QDir::Files), QStringList());
    // The sender does not take the refusal for a delivery.
    TRY_VERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("not kept by the other station")) ||
                m_a->text("Txtlogsend").contains(QStringLiteral("Send of photo 1.jpg broken off")));
    QVERIFY(!m_a->text("Txtlogsend").contains(QStringLiteral("delivered")));
    QVERIFY(!m_a->text("Txtlogsend").contains(QStringLiteral("Send complete for")));
}

void PortalCustodyTest::controlCharacterNameIsNotSent()
{
    const QString name = QStringLiteral("MAIL\r\nx.dat");
    m_a->putInOutbox(name, "84 79\r\n");
    m_a->sendTo(loopback);
    const QString log = m_a->text("Txtlogsend");
    QVERIFY2(log.contains(QStringLiteral("Not sent")) && log.contains(QStringLiteral("control character (CR, LF)")), qPrintable(log));
    QTest::qWait(100);
    QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("ConnectionRequest")));
    QCOMPARE(QDir(m_b->setup.receiveDirectory).entryList(QDir::Files), QStringList());
}

void PortalCustodyTest::chatNeverLeaksIntoTransfer()
{
    // B's chat connection is accepted by A; A's operator then sends 20 MB.
    m_b->link().chatConnect(loopback);
    TRY_VERIFY(m_a->link().chatModeActive() && m_b->link().chatModeActive());
    const QByteArray content = randomBytes(20 * 1024 * 1024, 99);
    m_a->putInOutbox(QStringLiteral("File - big.bin"), content);
    QSignalSpy ended(&m_a->link(), &DataLink::chatEndedBySend);
    m_a->sendTo(loopback);
    QCOMPARE(ended.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_a->link().transferInProgress(), TestWaits::settleMs);
    int refusedA = 0;
    int refusedB = 0;
    while (m_a->link().transferInProgress() || m_b->link().transferInProgress()) {
        refusedA += m_a->link().transferInProgress() && !m_a->link().sendChat(QStringLiteral("K1ABC-injected")) ? 1 : 0;
        refusedB += m_b->link().transferInProgress() && !m_b->link().sendChat(QStringLiteral("K2XYZ-injected")) ? 1 : 0;
        QTest::qWait(1);
    }
    QVERIFY(refusedA > 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Closed receive file: File - big.bin")), TestWaits::settleMs);
    const QByteArray received = m_b->received(QStringLiteral("File - big.bin"));
    QCOMPARE(received.size(), content.size());
    QVERIFY(received == content);
    TRY_VERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("Send complete for File - big.bin")));
}

void PortalCustodyTest::abortedSendIsResetAtThePeer()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    PortalStation sender(freePort(), peer.serverPort());
    sender.start();
    sender.putInOutbox(QStringLiteral("File - long.bin"), randomBytes(8 * 1024 * 1024));
    sender.sendTo(loopback);
    TRY_VERIFY(peer.hasPendingConnections());
    QTcpSocket *socket = peer.nextPendingConnection();
    // The peer reads a little, then the operator closes the program.
    TRY_VERIFY(socket->bytesAvailable() > 0);
    TRY_VERIFY(sender.link().transferInProgress());
    // While the content goes out, any end but the link's own (a kill of the
    // program included) closes with a reset: a linger time of zero.
    int sending = 0;
    for (QTcpSocket *own : sender.link().findChildren<QTcpSocket *>()) {
        if (own->state() != QAbstractSocket::ConnectedState)
            continue;
        ++sending;
        linger option{};
        socklen_t length = sizeof option;
        QCOMPARE(::getsockopt(int(own->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, &length), 0);
        QCOMPARE(option.l_onoff, 1);
        QCOMPARE(option.l_linger, 0);
    }
    QCOMPARE(sending, 1);
    sender.link().abortTransfer();
    QVERIFY(sender.text("Txtlogsend").contains(QStringLiteral("Send of File - long.bin broken off")));
    RawPeer::End end = RawPeer::End::Open;
    {
        // The kernel's answer on the peer's own descriptor: a reset, not an end of data.
        const int fd = int(socket->socketDescriptor());
        QElapsedTimer waited;
        waited.start();
        char buffer[65536];
        while (end == RawPeer::End::Open && waited.elapsed() < TestWaits::settleMs) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0)
                end = RawPeer::End::Closed;
            else if (n < 0 && errno == ECONNRESET)
                end = RawPeer::End::Reset;
            else if (n < 0)
                QTest::qWait(5);
        }
    }
    QCOMPARE(end, RawPeer::End::Reset);
    TRY_VERIFY(listeningAgain(sender));
}

void PortalCustodyTest::leftoversRemovedAtStart()
{
    PortalStation station(freePort(), freePort());
    writeFile(partFolder(station) + QStringLiteral("/MAIL - 1.dat"), "half");
    writeFile(partFolder(station) + QStringLiteral("/File - 2.txt"), "half");
    writeFile(QDir(station.setup.receiveDirectory).filePath(QStringLiteral("MAIL - whole.dat")), "whole\r\n");
    station.start();
    QCOMPARE(filesIn(partFolder(station)), QStringList());
    QCOMPARE(station.received(QStringLiteral("MAIL - whole.dat")), QByteArray("whole\r\n"));
    QVERIFY2(station.text("Txtlogrecv").contains(QStringLiteral("Removed 2 unfinished receive file(s)")),
             qPrintable(station.text("Txtlogrecv")));
    // Nothing to remove on a clean start: nothing said.
    QVERIFY(!m_a->text("Txtlogrecv").contains(QStringLiteral("unfinished receive file")));
}

void PortalCustodyTest::backToBackPeersAllReceived()
{
    for (int round = 0; round < 20; ++round) {
        const QByteArray first = "MAIL - r" + QByteArray::number(round) + "a.dat";
        const QByteArray second = "MAIL - r" + QByteArray::number(round) + "b.dat";
        RawPeer one(m_b->link().listenPort());
        RawPeer two(m_b->link().listenPort());
        QVERIFY(one.connected && two.connected);
        QVERIFY(one.send("MAIL:" + first + "\r\n" + first + "\r\n"));
        QVERIFY(two.send("MAIL:" + second + "\r\n" + second + "\r\n"));
        one.finish();
        two.finish();
        QCOMPARE(one.waitForEnd(), RawPeer::End::Closed);
        QCOMPARE(two.waitForEnd(), RawPeer::End::Closed);
        TRY_COMPARE(m_b->received(QString::fromLatin1(second)), second + "\r\n");
        QCOMPARE(m_b->received(QString::fromLatin1(first)), first + "\r\n");
    }
    QCOMPARE(QDir(m_b->setup.receiveDirectory).entryList(QDir::Files).size(), 40);
    TRY_VERIFY(listeningAgain(*m_b));
}

void PortalCustodyTest::stationsSendingToEachOtherAtOnce()
{
    for (int round = 0; round < 5; ++round) {
        const QString fromA = QStringLiteral("MAIL - a%1.dat").arg(round);
        const QString fromB = QStringLiteral("MAIL - b%1.dat").arg(round);
        const QByteArray contentA = randomBytes(300 * 1024, round) + "\r\n";
        const QByteArray contentB = randomBytes(200 * 1024, round + 100) + "\r\n";
        m_a->putInOutbox(fromA, contentA);
        m_b->putInOutbox(fromB, contentB);
        // Each one's call reaches the other while that one is busy sending: it waits its turn.
        m_a->sendTo(loopback);
        m_b->sendTo(loopback);
        QTRY_VERIFY_WITH_TIMEOUT(m_b->received(fromA) == contentA && m_a->received(fromB) == contentB, TestWaits::settleMs);
        TRY_VERIFY(m_a->text("Txtlogsend").contains(fromA + QStringLiteral(" delivered")));
        TRY_VERIFY(m_b->text("Txtlogsend").contains(fromB + QStringLiteral(" delivered")));
        TRY_VERIFY(m_a->link().state() == DataLink::SocketPhase::Listening && m_b->link().state() == DataLink::SocketPhase::Listening);
        QDir(m_a->setup.sendDirectory).removeRecursively();
        QDir(m_b->setup.sendDirectory).removeRecursively();
        QDir().mkpath(m_a->setup.sendDirectory);
        QDir().mkpath(m_b->setup.sendDirectory);
    }
}

void PortalCustodyTest::slowAndSilentPeersAreClosed_data()
{
    QTest::addColumn<QByteArray>("opening");
    QTest::addColumn<QByteArray>("drip");
    QTest::addColumn<QString>("line");
    QTest::addRow("silent peer") << QByteArray() << QByteArray() << "No transfer header or chat line";
    QTest::addRow("one byte at a time") << QByteArray() << QByteArray("MAIL:MAIL - slow.dat") << "No transfer header or chat line";
    QTest::addRow("empty lines are no chat") << QByteArray() << QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n\r\n") << "No transfer header or chat line";
    QTest::addRow("stalled transfer") << QByteArray("MAIL:MAIL - stall.dat\r\nhalf") << QByteArray() << "no data moved for";
}

void PortalCustodyTest::slowAndSilentPeersAreClosed()
{
    QFETCH(QByteArray, opening);
    QFETCH(QByteArray, drip);
    QFETCH(QString, line);
    PortalStation station(freePort(), freePort());
    station.setup.firstLineTimeoutMs = 400;
    station.setup.transferIdleTimeoutMs = 600;
    station.start();
    QElapsedTimer clock;
    clock.start();
    RawPeer slow(station.link().listenPort());
    QVERIFY(slow.connected);
    QVERIFY(slow.send(opening));
    // A proper transfer waits behind the slow peer and still arrives.
    RawPeer next(station.link().listenPort());
    QVERIFY(next.connected);
    QVERIFY(next.send("MAIL:MAIL - next.dat\r\nnext\r\n"));
    next.finish();
    // The drip goes on until the portal ends the connection: a limit that each
    // byte started afresh would never be reached, however slow the machine.
    RawPeer::End end = RawPeer::End::Open;
    for (qsizetype i = 0; !drip.isEmpty() && end == RawPeer::End::Open && clock.elapsed() < TestWaits::settleMs; ++i) {
        if (!slow.send(QByteArray(1, drip.at(i % drip.size()))))
            break;
        end = slow.waitForEnd(100);
    }
    QVERIFY(end != RawPeer::End::Open || slow.waitForEnd() != RawPeer::End::Open);
    // Far below the drip's length and any default the program might fall back to.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    TRY_VERIFY(station.text("Txtlogrecv").contains(line));
    TRY_COMPARE(station.received(QStringLiteral("MAIL - next.dat")), QByteArray("next\r\n"));
    QCOMPARE(station.received(QStringLiteral("MAIL - stall.dat")), QByteArray("<missing>"));
    QCOMPARE(filesIn(partFolder(station)), QStringList());
}

void PortalCustodyTest::chatMayIdle()
{
    PortalStation station(freePort(), freePort());
    station.setup.firstLineTimeoutMs = 200;
    station.setup.transferIdleTimeoutMs = 200;
    station.start();
    RawPeer chat(station.link().listenPort());
    QVERIFY(chat.connected);
    QVERIFY(chat.send("CHAT:K1-hello\r\n"));
    TRY_VERIFY(station.text("Txtchatrecv").contains(QStringLiteral("K1-hello")));
    QCOMPARE(chat.waitForEnd(800), RawPeer::End::Open);
    QCOMPARE(station.link().state(), DataLink::SocketPhase::Connected);
    QVERIFY(station.link().sendChat(QStringLiteral("K2-still here")));
    QCOMPARE(chat.waitForEnd(300), RawPeer::End::Open);
    QCOMPARE(chat.received, QByteArray("CHAT:K2-still here\r\n"));
}

void PortalCustodyTest::keepAliveOnTheSocket()
{
    PortalStation station(freePort(), freePort());
    station.setup.keepAliveIdleS = 7;
    station.setup.keepAliveIntervalS = 3;
    station.setup.keepAliveCount = 4;
    station.start();
    RawPeer chat(station.link().listenPort());
    QVERIFY(chat.connected);
    TRY_COMPARE(station.link().state(), DataLink::SocketPhase::Connected);
    int fd = -1;
    for (QTcpSocket *socket : station.link().findChildren<QTcpSocket *>()) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            fd = int(socket->socketDescriptor());
    }
    QVERIFY(fd >= 0);
    const auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t length = sizeof value;
        ::getsockopt(fd, level, name, &value, &length);
        return value;
    };
    QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), 7);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), 3);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), 4);
    // The program's own limits find a vanished peer within two minutes.
    QVERIFY(PortalSetup::keepAliveIdleLimitS + PortalSetup::keepAliveIntervalLimitS * PortalSetup::keepAliveCountLimit <= 120);
}

void PortalCustodyTest::addressesAsTheOperatorKnowsThem_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("shown");
    QTest::addRow("IPv4 seen through a dual-stack listener") << "::ffff:10.77.72.1" << "10.77.72.1";
    QTest::addRow("plain IPv4") << "10.77.72.1" << "10.77.72.1";
    QTest::addRow("IPv6 loopback stays") << "::1" << "::1";
    QTest::addRow("IPv6 stays") << "2001:db8::7" << "2001:db8::7";
}

void PortalCustodyTest::addressesAsTheOperatorKnowsThem()
{
    QFETCH(QString, address);
    QFETCH(QString, shown);
    QCOMPARE(DataLink::addressText(QHostAddress(address)), shown);
}

void PortalCustodyTest::callerAndSizesShown()
{
    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    TRY_VERIFY(m_b->link().chatModeActive());
    QVERIFY2(m_b->text("Txtlogrecv").contains(QStringLiteral("Call from 127.0.0.1 (port %1).").arg(peer.localPort())),
             qPrintable(m_b->text("Txtlogrecv")));
    QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("::ffff:")));
    peer.reset();
    TRY_VERIFY(listeningAgain(*m_b));

    m_a->putInOutbox(QStringLiteral("MAIL - sized.dat"), QByteArray(1234, 'x') + "\r\n");
    m_a->sendTo(loopback);
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Received MAIL - sized.dat: 1236 bytes from 127.0.0.1.")));
    TRY_VERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("MAIL - sized.dat: 1236 bytes handed to 127.0.0.1.")));
    TRY_VERIFY(m_a->text("Txtlogsend").contains(
        QStringLiteral("MAIL - sized.dat delivered: 127.0.0.1 took all 1236 bytes and closed in order.")));
    // Quick transfers show no progress lines.
    QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("so far")));
}

void PortalCustodyTest::progressOfSlowTransfers()
{
    // Receiving: a peer that sends a piece every 300 ms for about 2.4 seconds.
    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("FILE:File - slow.txt\r\n"));
    for (int i = 0; i < 8; ++i) {
        QVERIFY(peer.send(QByteArray(1000, 'p')));
        QTest::qWait(300);
    }
    QVERIFY(peer.send("\r\n"));
    peer.finish();
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Closed receive file: File - slow.txt")));
    const QString log = m_b->text("Txtlogrecv");
    const qsizetype lines = log.count(QStringLiteral("Receiving File - slow.txt: "));
    QVERIFY2(lines >= 1 && lines <= 2, qPrintable(log));
    QVERIFY(log.contains(QRegularExpression(QStringLiteral("Receiving File - slow.txt: \\d+ bytes so far"))));

    // Sending: a peer that reads slowly for its first seconds, on a plain
    // socket so that nothing reads ahead of it.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    ::fcntl(listener, F_SETFL, O_NONBLOCK);
    PortalStation sender(freePort(), ntohs(address.sin_port));
    sender.start();
    const qint64 size = 24 * 1024 * 1024;
    sender.putInOutbox(QStringLiteral("File - paced.bin"), randomBytes(size));
    sender.sendTo(loopback);
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 500; ++tries) {
        fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            QTest::qWait(10);
    }
    QVERIFY(fd >= 0);
    ::close(listener);
    qint64 got = 0;
    QElapsedTimer waited;
    waited.start();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, waited.elapsed() < 2500 ? 4096 : sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            got += n;
        else if (n == 0 || waited.elapsed() > 30000 || (errno != EAGAIN && errno != EWOULDBLOCK))
            break;
        QTest::qWait(waited.elapsed() < 2500 ? 20 : 0);
    }
    ::close(fd);
    QCOMPARE(got, size + qint64(sizeof("FILE:File - paced.bin\r\n") - 1));
    TRY_VERIFY(sender.text("Txtlogsend").contains(QStringLiteral("Send complete for File - paced.bin")));
    const QString sent = sender.text("Txtlogsend");
    QVERIFY2(sent.contains(QRegularExpression(QStringLiteral("Sending File - paced.bin: \\d+ of %1 bytes \\(\\d+%\\)").arg(size))),
             qPrintable(sent));
}

PORTAL_TEST_MAIN(PortalCustodyTest)
#include "tst_portal_custody.moc"
