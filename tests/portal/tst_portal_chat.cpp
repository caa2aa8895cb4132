#include "PortalStation.h"
#include "TestWaits.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const QString loopback = QStringLiteral("127.0.0.1");

QString withoutStamps(QString shown)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\]"), QRegularExpression::MultilineOption);
    return shown.replace(stamp, QStringLiteral("[T]"));
}

bool listening(const PortalStation &station)
{
    return station.link().state() == DataLink::SocketPhase::Listening;
}

} // namespace

class PortalChatTest : public QObject, protected StationPair
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chatBothWays_data();
    void chatBothWays();
    void emptyBoxAndEmptyId();
    void sendingBeforeConfirmationIsRefused();
    void endChat_data();
    void endChat();
    void endChatWithoutChat();
    void reconnectLastIp();
    void unreachableChatPeerListensAgain();
    void ownLineShownAsSent_data();
    void ownLineShownAsSent();
    void chatDuringATransferIsHeldBack();

private:
    void connectChat();
};

void PortalChatTest::init()
{
    openPair();
    m_a->find<QLineEdit>("Txtstationid")->setText(QStringLiteral(" TESTCALL "));
    m_b->find<QLineEdit>("Txtstationid")->setText(QStringLiteral("B1"));
}

void PortalChatTest::cleanup()
{
    closePair();
}

void PortalChatTest::connectChat()
{
    m_a->find<QLineEdit>("Txtremoteip")->setText(QStringLiteral(" 127.0.0.1 "));
    m_a->click("commandstartchat");
    QVERIFY(m_a->text("Txtlogrecv").startsWith(QStringLiteral("Chat mode armed. Next connect will stay open.")));
    TRY_VERIFY(m_a->link().chatModeActive() && m_b->link().chatModeActive());
    QVERIFY(m_a->text("Txtlogrecv").contains(
        QStringLiteral("Chat connection confirmed. State=7, RemoteHost=127.0.0.1, Port=%1").arg(m_b->link().listenPort())));
    QCOMPARE(m_b->link().sendMode(), DataLink::SendMode::Chat);
}

void PortalChatTest::chatBothWays_data()
{
    QTest::addColumn<bool>("enterKey");
    QTest::addRow("button") << false;
    QTest::addRow("enter key") << true;
}

void PortalChatTest::chatBothWays()
{
    QFETCH(bool, enterKey);
    connectChat();
    auto *entryA = m_a->find<QLineEdit>("Txtchatsend");
    entryA->setText(QStringLiteral("  hi  "));
    if (enterKey)
        QTest::keyClick(entryA, Qt::Key_Return);
    else
        m_a->click("commandchatsend");
    QCOMPARE(entryA->text(), QString());
    QCOMPARE(withoutStamps(m_a->text("Txtchatrecv")), QStringLiteral("[T]TESTCALL-hi\n"));
    TRY_COMPARE(withoutStamps(m_b->text("Txtchatrecv")), QStringLiteral("[T] TESTCALL-hi\n"));
    QVERIFY(m_a->text("Txtlogrecv").contains(QStringLiteral("ChatSend invoked. State=7, chatModeActive=True")));
    TRY_VERIFY(m_a->text("Txtlogsend").contains(QStringLiteral("Chat send complete. Socket remains open.")));

    auto *entryB = m_b->find<QLineEdit>("Txtchatsend");
    entryB->setText(QStringLiteral("caf\u00e9 \u20ac"));
    QTest::keyClick(entryB, Qt::Key_Return);
    TRY_COMPARE(withoutStamps(m_a->text("Txtchatrecv")), QStringLiteral("[T] B1-caf\u00e9 \u20ac\n[T]TESTCALL-hi\n"));
    QVERIFY(m_a->prompter.texts.isEmpty());
    QVERIFY(m_b->prompter.texts.isEmpty());
}

void PortalChatTest::emptyBoxAndEmptyId()
{
    connectChat();
    m_a->click("commandchatsend");
    TRY_COMPARE(withoutStamps(m_b->text("Txtchatrecv")), QStringLiteral("[T] TESTCALL\n"));
    m_a->find<QLineEdit>("Txtstationid")->setText(QStringLiteral("   "));
    const QString before = m_a->text("Txtchatrecv");
    m_a->click("commandchatsend");
    QVERIFY(m_a->text("Txtlogrecv").endsWith(QStringLiteral("ChatSend invoked. State=7, chatModeActive=True")));
    QCOMPARE(m_a->text("Txtchatrecv"), before);
    QVERIFY(m_a->prompter.texts.isEmpty());
    QTest::qWait(50);
    QCOMPARE(withoutStamps(m_b->text("Txtchatrecv")), QStringLiteral("[T] TESTCALL\n"));
}

void PortalChatTest::sendingBeforeConfirmationIsRefused()
{
    m_a->find<QLineEdit>("Txtremoteip")->setText(loopback);
    m_a->click("commandstartchat");
    // Still connecting: nothing has been confirmed yet.
    m_a->find<QLineEdit>("Txtchatsend")->setText(QStringLiteral("too early"));
    m_a->click("commandchatsend");
    QCOMPARE(m_a->prompter.texts, QStringList{"Chat is not active or socket not connected."});
    QCOMPARE(m_a->find<QLineEdit>("Txtchatsend")->text(), QStringLiteral("too early"));
    TRY_VERIFY(m_a->link().chatModeActive());
    QTest::qWait(50);
    QCOMPARE(m_b->text("Txtchatrecv"), QString());

    // A transfer connection is no chat either: the receiving side of a plain socket never confirms one.
    PortalStation lone(freePort(), freePort());
    lone.start();
    lone.find<QLineEdit>("Txtchatsend")->setText(QStringLiteral("x"));
    lone.click("commandchatsend");
    QCOMPARE(lone.prompter.texts, QStringList{"Chat is not active or socket not connected."});
}

void PortalChatTest::endChat_data()
{
    QTest::addColumn<bool>("fromCaller");
    QTest::addRow("the caller ends") << true;
    QTest::addRow("the called station ends") << false;
}

void PortalChatTest::endChat()
{
    QFETCH(bool, fromCaller);
    connectChat();
    PortalStation &ender = fromCaller ? *m_a : *m_b;
    PortalStation &other = fromCaller ? *m_b : *m_a;
    ender.click("commandendchat");
    QVERIFY(ender.text("Txtlogrecv").startsWith(
        QStringLiteral(" CHAT Session Ended\nListening again on port %1\n").arg(ender.link().listenPort())));
    QVERIFY(ender.text("Txtlogrecv").contains(QStringLiteral("Chat mode terminated by user.")));
    QVERIFY(listening(ender));
    QVERIFY(!ender.link().chatModeActive());
    // The peer saw "<ENDCHAT>" before the close: it ends its side in words and listens again.
    TRY_VERIFY(other.text("Txtchatrecv").startsWith(QStringLiteral("Remote: Chat session ended.")));
    TRY_VERIFY(listening(other));
    QVERIFY(other.text("Txtlogrecv").contains(QStringLiteral("Remote terminated chat session.")));
    QVERIFY(other.speaker.phrases.contains(QStringLiteral("Chat session ended.")));
    QCOMPARE(other.link().sendMode(), DataLink::SendMode::Idle);
    // Both can chat again afterwards.
    connectChat();
}

void PortalChatTest::endChatWithoutChat()
{
    m_a->click("commandendchat");
    const QStringList lines = m_a->text("Txtlogrecv").split(u'\n');
    QCOMPARE(lines.first(), QStringLiteral(" CHAT Session Ended"));
    QCOMPARE(lines.at(1), QStringLiteral("Listening again on port %1").arg(m_a->link().listenPort()));
    QVERIFY(lines.last().startsWith(QStringLiteral("[] Socket status: LISTENING")));
    QVERIFY(listening(*m_a));
}

void PortalChatTest::reconnectLastIp()
{
    m_a->find<QLineEdit>("Txtremoteip")->setText(loopback);
    m_a->click("Commandreconnect");
    QVERIFY(m_a->text("Txtlogrecv").startsWith(
        QStringLiteral("Reconnect attempted to 127.0.0.1 on port %1").arg(m_b->link().listenPort())));
    TRY_VERIFY(m_a->link().chatModeActive() && m_b->link().chatModeActive());
    m_a->click("commandchatsend");
    TRY_COMPARE(withoutStamps(m_b->text("Txtchatrecv")), QStringLiteral("[T] TESTCALL\n"));
}

void PortalChatTest::unreachableChatPeerListensAgain()
{
    PortalStation lone(freePort(), freePort());
    lone.start();
    lone.find<QLineEdit>("Txtremoteip")->setText(loopback);
    lone.find<QLineEdit>("Txtstationid")->setText(QStringLiteral("LONE"));
    lone.click("commandstartchat");
    TRY_VERIFY(lone.text("Txtlogrecv").contains(QStringLiteral("[SOCKET ERR 10061] ")));
    TRY_VERIFY(listening(lone));
    lone.click("commandchatsend");
    QCOMPARE(lone.prompter.texts, QStringList{"Chat is not active or socket not connected."});
}

void PortalChatTest::ownLineShownAsSent_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::addRow("code page letters") << "caf\u00e9 \u20ac5" << "caf\u00e9 \u20ac5";
    QTest::addRow("outside the code page") << "\u03a9mega \u263a ok" << "?mega ? ok";
    QTest::addRow("outside the BMP") << "x\U0001F600y" << "x?y";
}

void PortalChatTest::ownLineShownAsSent()
{
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    connectChat();
    m_a->find<QLineEdit>("Txtchatsend")->setText(typed);
    m_a->click("commandchatsend");
    // Both panes show what crossed the wire.
    QCOMPARE(withoutStamps(m_a->text("Txtchatrecv")), QStringLiteral("[T]TESTCALL-") + sent + u'\n');
    TRY_COMPARE(withoutStamps(m_b->text("Txtchatrecv")), QStringLiteral("[T] TESTCALL-") + sent + u'\n');
}

void PortalChatTest::chatDuringATransferIsHeldBack()
{
    // A caller chats with the sender when the sender's operator sends a 20 MB mail to a third station.
    QTcpServer third;
    QVERIFY(third.listen(QHostAddress::LocalHost, 0));
    PortalStation sender(freePort(), third.serverPort());
    sender.start();
    sender.find<QLineEdit>("Txtstationid")->setText(QStringLiteral("K1ABC"));
    QByteArray content(20 * 1024 * 1024, 'x');
    for (qsizetype i = 0; i < content.size(); i += 1000)
        content[i] = char('a' + i % 26);
    content += "\r\n";

    // The send ends the chat, and the chat pane says so.
    PortalStation caller(freePort(), 0);
    caller.setup.peerPort = sender.link().listenPort();
    caller.start();
    caller.find<QLineEdit>("Txtremoteip")->setText(loopback);
    caller.click("commandstartchat");
    TRY_VERIFY(sender.link().chatModeActive());
    sender.putInOutbox(QStringLiteral("MAIL - big.dat"), content);
    sender.sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(third.hasPendingConnections(), TestWaits::settleMs);
    QTcpSocket *station = third.nextPendingConnection();
    station->setReadBufferSize(64 * 1024); // read slowly: the transfer stays in flight
    TRY_VERIFY(sender.link().transferInProgress());
    QVERIFY(sender.text("Txtchatrecv").contains(QStringLiteral("Chat session ended")));

    auto *entry = sender.find<QLineEdit>("Txtchatsend");
    entry->setText(QStringLiteral("injected"));
    QTest::keyClick(entry, Qt::Key_Return);
    QCOMPARE(entry->text(), QStringLiteral("injected"));
    QVERIFY(sender.text("Txtchatrecv").contains(QStringLiteral("Not sent: a file transfer is in progress")));
    QVERIFY(sender.prompter.texts.isEmpty());

    // What arrives is the file, nothing else.
    station->setReadBufferSize(0);
    QByteArray arrived;
    QElapsedTimer waited;
    waited.start();
    while (station->state() == QAbstractSocket::ConnectedState && waited.elapsed() < 30000) {
        QTest::qWait(5);
        arrived += station->readAll();
    }
    arrived += station->readAll();
    QVERIFY(arrived == "MAIL:MAIL - big.dat\r\n" + content);
    TRY_VERIFY(!sender.link().transferInProgress());
}

PORTAL_TEST_MAIN(PortalChatTest)
#include "tst_portal_chat.moc"
