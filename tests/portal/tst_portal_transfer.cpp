#include "PortalStation.h"
#include "TestWaits.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

namespace {

const QString loopback = QStringLiteral("127.0.0.1");

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

bool listeningAgain(const PortalStation &station)
{
    return station.link().state() == DataLink::SocketPhase::Listening &&
           station.text("Txtlogrecv").startsWith(QStringLiteral("Listening again on port %1").arg(station.link().listenPort()));
}

/// A peer speaking the wire format by hand.
struct RawPeer
{
    explicit RawPeer(quint16 port)
    {
        socket.connectToHost(loopback, port);
        connected = QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, TestWaits::settleMs);
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    bool closedByPortal()
    {
        QElapsedTimer waited;
        waited.start();
        while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < TestWaits::settleMs)
            QTest::qWait(10);
        return socket.state() != QAbstractSocket::ConnectedState;
    }
    QTcpSocket socket;
    bool connected = false;
};

} // namespace

class PortalTransferTest : public QObject, protected StationPair
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void transferLandsByteExact_data();
    void transferLandsByteExact();
    void newestOutboxFileIsSent_data();
    void newestOutboxFileIsSent();
    void twoTransfersInARow();
    void headerOnTheWire_data();
    void headerOnTheWire();
    void nothingToSend_data();
    void nothingToSend();

    void chatFromRawPeer_data();
    void chatFromRawPeer();
    void brokenPeers_data();
    void brokenPeers();
    void peerVanishingMidTransfer();

    void listenFailureIsExplained();
    void refusedConnectionListensAgain();
};

void PortalTransferTest::init()
{
    openPair();
    QVERIFY(pairListening());
}

void PortalTransferTest::cleanup()
{
    closePair();
}

void PortalTransferTest::transferLandsByteExact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addRow("mail file") << "MAIL - From- AB--14-05-09--12-07-26.dat"
                               << QByteArray("84 79 58 32 65 66,83 85 66,89 79 85,70 82 79 77 45 32 67\r\n");
    QTest::addRow("attachment file with LF breaks")
        << "File - 14-05-09--12-07-26.txt" << QByteArray("SGVsbG8s\nV29ybGQ=\r\n<ENDCHAT>\r\n<RESET>\r\n");
    QTest::addRow("reply travels as file") << "MAIL - 140509.txt" << QByteArray("1,2,3,4\r\n");
    QTest::addRow("every byte value") << "File - bytes.bin" << randomBytes(4096);
    QTest::addRow("many chunks") << "File - large.txt" << randomBytes(3 * 1024 * 1024 + 17);
}

void PortalTransferTest::transferLandsByteExact()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    m_a->putInOutbox(name, content);
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Closed receive file: ") + name), TestWaits::settleMs);
    QCOMPARE(m_b->received(name), content);
    QVERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Opened receive file: ") + name));
    TRY_VERIFY(listeningAgain(*m_b));
    TRY_VERIFY(listeningAgain(*m_a));

    const bool mail = name.endsWith(QStringLiteral(".dat"));
    const QString sendLog = m_a->text("Txtlogsend");
    QVERIFY2(sendLog.contains((mail ? QStringLiteral("Preparing MAIL: ") : QStringLiteral("Preparing FILE: ")) + name),
             qPrintable(sendLog));
    // Complete only once the receiver has closed in order after the content.
    TRY_VERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("Send complete for ") + name));
    QVERIFY(sendLog.contains(QStringLiteral("Non-chat send complete. Socket closed.")));
    QVERIFY(m_a->speaker.phrases.contains(mail ? QStringLiteral("Mail send Started") : QStringLiteral("File send Started")));
    QVERIFY(m_b->speaker.phrases.contains(QStringLiteral("Connection accepted.")));
    // The outbox keeps its file; the receiver's partial-file folder is empty again.
    QVERIFY(QFileInfo::exists(QDir(m_a->setup.sendDirectory).filePath(name)));
    QCOMPARE(QDir(m_b->setup.receiveDirectory + QStringLiteral("/.incoming")).entryList(QDir::Files | QDir::Hidden),
             QStringList());
}

void PortalTransferTest::newestOutboxFileIsSent_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("ages");
    QTest::addColumn<QString>("sent");
    QTest::addRow("later modified") << QStringList{"MAIL - a.dat", "File - b.txt"} << QList<int>{300, 20} << "File - b.txt";
    QTest::addRow("tie goes to the first listed") << QStringList{"MAIL - z.dat", "File - b.txt"} << QList<int>{60, 60}
                                                  << "File - b.txt";
}

void PortalTransferTest::newestOutboxFileIsSent()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, ages);
    QFETCH(QString, sent);
    for (qsizetype i = 0; i < names.size(); ++i)
        m_a->putInOutbox(names[i], names[i].toLatin1());
    // Times set after all files exist, so writing one does not touch another's.
    for (qsizetype i = 0; i < names.size(); ++i)
        m_a->putInOutbox(names[i], names[i].toLatin1(), ages[i]);
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Closed receive file: ")), TestWaits::settleMs);
    QCOMPARE(QDir(m_b->setup.receiveDirectory).entryList(QDir::Files), QStringList{sent});
    QCOMPARE(m_b->received(sent), sent.toLatin1());
}

void PortalTransferTest::twoTransfersInARow()
{
    m_a->putInOutbox(QStringLiteral("MAIL - 1.dat"), "first\r\n", 100);
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(listeningAgain(*m_a) && listeningAgain(*m_b), TestWaits::settleMs);
    m_a->putInOutbox(QStringLiteral("File - 2.txt"), "second\r\n", 0);
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->received(QStringLiteral("File - 2.txt")) == "second\r\n", TestWaits::settleMs);
    QCOMPARE(m_b->received(QStringLiteral("MAIL - 1.dat")), QByteArray("first\r\n"));
    TRY_VERIFY(listeningAgain(*m_a));
    // And the other way round: the receiver sends back to the first sender.
    m_b->putInOutbox(QStringLiteral("MAIL - back.dat"), "back\r\n");
    m_b->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_a->received(QStringLiteral("MAIL - back.dat")) == "back\r\n", TestWaits::settleMs);
}

void PortalTransferTest::headerOnTheWire_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("header");
    QTest::addRow("dat in capitals is mail") << "abc.DAT" << QByteArray("MAIL:abc.DAT\r\n");
    QTest::addRow("other names are files") << "photo.jpg" << QByteArray("FILE:photo.jpg\r\n");
    QTest::addRow("code page of the name") << QStringLiteral("File - caf\u00e9.txt") << QByteArray("FILE:File - caf\xe9.txt\r\n");
}

void PortalTransferTest::headerOnTheWire()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, header);
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    PortalStation sender(freePort(), peer.serverPort());
    sender.start();
    // Names the other station would not keep go out only on the operator's word.
    sender.link().setConfirm([](const QString &) { return true; });
    const QByteArray content("line one\r\nline two\n\x00\xff", 21);
    sender.putInOutbox(name, content);
    sender.sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), TestWaits::settleMs);
    QTcpSocket *socket = peer.nextPendingConnection();
    QByteArray wire;
    QElapsedTimer waited;
    waited.start();
    // The sender lives in this thread: let its events run while the peer reads.
    while (socket->state() == QAbstractSocket::ConnectedState && waited.elapsed() < TestWaits::settleMs) {
        QTest::qWait(20);
        wire += socket->readAll();
    }
    wire += socket->readAll();
    QCOMPARE(wire, header + content);
    TRY_VERIFY(listeningAgain(sender));
}

void PortalTransferTest::nothingToSend_data()
{
    QTest::addColumn<bool>("emptyFile");
    QTest::addColumn<QString>("line");
    QTest::addRow("empty outbox") << false << "No files found!";
    QTest::addRow("newest file is empty") << true << "[SEND INIT ERR 62] ";
}

void PortalTransferTest::nothingToSend()
{
    QFETCH(bool, emptyFile);
    QFETCH(QString, line);
    if (emptyFile)
        m_a->putInOutbox(QStringLiteral("MAIL - 0.dat"), QByteArray());
    m_a->sendTo(loopback);
    QVERIFY2(m_a->text("Txtlogsend").contains(line), qPrintable(m_a->text("Txtlogsend")));
    QCOMPARE(m_a->speaker.phrases.contains(QStringLiteral("No Files Found")), !emptyFile);
    // No connection was started: both still listen and the receiver saw nothing.
    QTest::qWait(50);
    QCOMPARE(m_a->link().state(), DataLink::SocketPhase::Listening);
    QVERIFY(!m_b->text("Txtlogrecv").contains(QStringLiteral("ConnectionRequest")));
}

void PortalTransferTest::chatFromRawPeer_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("chatBox");
    QTest::addColumn<bool>("portalCloses");
    QTest::addColumn<QString>("phrase");
    QTest::addRow("plain and prefixed lines, newest on top")
        << QByteArray("hello\r\nCHAT:K1-hi\r\nCHAT:\r\n\r\n") << "] K1-hi\n] hello\n" << false << "";
    QTest::addRow("end line in lower case") << QByteArray("CHAT:bye\r\nchat_end\r\n")
                                            << "Remote: Chat session ended.\n] bye\n" << true << "Chat session ended.";
    QTest::addRow("endchat then reset") << QByteArray("<endchat>\r\n<RESET>\r\n") << "Remote: Chat session ended.\n" << true
                                        << "Chat session ended.";
    QTest::addRow("reset in mixed case") << QByteArray("<Reset>\r\n") << "" << true
                                         << "Port reset Ready to receive in comming connection Request";
}

void PortalTransferTest::chatFromRawPeer()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, chatBox);
    QFETCH(bool, portalCloses);
    QFETCH(QString, phrase);
    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    TRY_VERIFY(m_b->link().chatModeActive());
    peer.send(sent);
    if (portalCloses) {
        QVERIFY(peer.closedByPortal());
        TRY_VERIFY(listeningAgain(*m_b));
        QVERIFY(m_b->speaker.phrases.contains(phrase));
    } else {
        TRY_VERIFY(m_b->text("Txtchatrecv").count(u'\n') == chatBox.count(u'\n'));
        QCOMPARE(m_b->link().state(), DataLink::SocketPhase::Connected);
    }
    // Drop the "[hh:mm:ss" stamps: they are checked for their form, not their value.
    QString shown = m_b->text("Txtchatrecv");
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d"), QRegularExpression::MultilineOption);
    QCOMPARE(shown.remove(stamp), chatBox);
}

void PortalTransferTest::brokenPeers_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("line");
    QTest::addRow("parent folder name") << QByteArray("MAIL:../MAIL - evil.dat\r\nowned\r\n") << "Refused receive file";
    QTest::addRow("absolute name") << QByteArray("FILE:/tmp/File - evil.txt\r\nowned\r\n") << "Refused receive file";
    QTest::addRow("windows path name") << QByteArray("FILE:..\\File - evil.txt\r\nowned\r\n") << "Refused receive file";
    QTest::addRow("drive name") << QByteArray("MAIL:C:MAIL - evil.dat\r\nowned\r\n") << "Refused receive file";
    QTest::addRow("empty name") << QByteArray("FILE:\r\nowned\r\n") << "Refused receive file";
    QTest::addRow("endless line") << QByteArray(70 * 1024, 'x') << "without a line end; connection closed.";
    QTest::addRow("endless header") << "MAIL:" + QByteArray(70 * 1024, 'n') << "without a line end; connection closed.";
}

void PortalTransferTest::brokenPeers()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, line);
    RawPeer peer(m_b->link().listenPort());
    QVERIFY(peer.connected);
    peer.send(sent);
    QVERIFY(peer.closedByPortal());
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(line));
    TRY_VERIFY(listeningAgain(*m_b));
    // Nothing was written anywhere: not in the home folder, not above it.
    QCOMPARE(QDir(m_b->home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({"mail send", "program"}));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/File - evil.txt")));
    QVERIFY(!QFileInfo::exists(QFileInfo(m_b->home.path()).dir().filePath(QStringLiteral("MAIL - evil.dat"))));
    // The portal still takes a proper transfer afterwards.
    m_a->putInOutbox(QStringLiteral("MAIL - ok.dat"), "fine\r\n");
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->received(QStringLiteral("MAIL - ok.dat")) == "fine\r\n", TestWaits::settleMs);
}

void PortalTransferTest::peerVanishingMidTransfer()
{
    auto peer = std::make_unique<RawPeer>(m_b->link().listenPort());
    QVERIFY(peer->connected);
    peer->send("FILE:File - cut.txt\r\nfirst half");
    TRY_VERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("Opened receive file: File - cut.txt")));
    peer->socket.abort();
    peer.reset();
    TRY_VERIFY(listeningAgain(*m_b));
    QVERIFY(!m_b->link().chatModeActive());
    QVERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("File - cut.txt")));
    m_a->putInOutbox(QStringLiteral("File - cut.txt"), "whole file\r\n");
    m_a->sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->received(QStringLiteral("File - cut.txt")) == "whole file\r\n", TestWaits::settleMs);
}

void PortalTransferTest::listenFailureIsExplained()
{
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, 0));
    PortalStation station(squatter.serverPort(), m_b->link().listenPort());
    station.start();
    const QString log = station.text("Txtlogrecv");
    QVERIFY2(log.contains(QStringLiteral("Not listening on port %1").arg(squatter.serverPort())), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Another program uses the port")));
    QVERIFY(!log.contains(QStringLiteral("Program started. Listening")));
    // Sending still works.
    station.putInOutbox(QStringLiteral("MAIL - deaf.dat"), "still sent\r\n");
    station.sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->received(QStringLiteral("MAIL - deaf.dat")) == "still sent\r\n", TestWaits::settleMs);
    // After the send the port is tried again; it is still taken, and the box
    // says so instead of claiming to listen.
    TRY_VERIFY(station.text("Txtlogrecv").count(QStringLiteral("Not listening on port %1").arg(squatter.serverPort())) >= 2);
    QVERIFY2(!station.text("Txtlogrecv").contains(QStringLiteral("Listening again on port %1").arg(squatter.serverPort())),
             qPrintable(station.text("Txtlogrecv")));
}

void PortalTransferTest::refusedConnectionListensAgain()
{
    PortalStation station(freePort(), freePort());
    station.start();
    station.putInOutbox(QStringLiteral("MAIL - nobody.dat"), "x\r\n");
    station.sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(listeningAgain(station), TestWaits::settleMs);
    QVERIFY(station.text("Txtlogrecv").contains(QStringLiteral("[SOCKET ERR 10061] ")));
    QVERIFY(station.text("Txtlogsend").contains(QStringLiteral("Send failed for MAIL - nobody.dat")));
}

PORTAL_TEST_MAIN(PortalTransferTest)
#include "tst_portal_transfer.moc"
