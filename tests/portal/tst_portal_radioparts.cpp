#include "AgwConnection.h"
#include "AgwFrame.h"
#include "LoopbackSocket.h"
#include "RadioSession.h"
#include "Wire.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray busyWords = "Busy: N0BBB is in a session with N0CCC-7. Please call again later.";

/// An AGW port that answers registration as told and can send any bytes.
class AgwPort : public QObject
{
public:
    explicit AgwPort(bool acceptCall)
        : m_acceptCall(acceptCall)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            client = server.nextPendingConnection();
            ++connections;
            connect(client, &QTcpSocket::readyRead, this, [this] {
                for (const AgwFrame &frame : parser.feed(client->readAll())) {
                    kinds += frame.kind;
                    if (frame.kind != 'X')
                        continue;
                    AgwFrame answer;
                    answer.kind = 'X';
                    answer.callFrom = frame.callFrom;
                    answer.data = QByteArray(1, m_acceptCall ? '\1' : '\0');
                    client->write(answer.encode());
                }
            });
        });
    }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QTcpSocket *client = nullptr;
    AgwParser parser;
    QByteArray kinds; ///< the kinds of frame the connection sent, in order
    int connections = 0;

private:
    bool m_acceptCall;
};

/// Every signal of a connection in one list, in the order they came.
struct Heard
{
    explicit Heard(AgwConnection &agw)
    {
        QObject::connect(&agw, &AgwConnection::statusLine, &agw, [this](const QString &line) { events << QStringLiteral("line: ") + line; });
        QObject::connect(&agw, &AgwConnection::ready, &agw, [this] { events << QStringLiteral("ready"); });
        QObject::connect(&agw, &AgwConnection::lost, &agw, [this] { events << QStringLiteral("lost"); });
        QObject::connect(&agw, &AgwConnection::frameArrived, &agw, [this](const AgwFrame &frame) { frames << frame; });
    }
    int count(const QString &start) const
    {
        return int(std::count_if(events.cbegin(), events.cend(), [&](const QString &e) { return e.startsWith(start); }));
    }
    QStringList events;
    QList<AgwFrame> frames;
};

RadioSession outgoingSession()
{
    RadioSession session("N0BBB", true);
    session.linked = true;
    return session;
}

} // namespace

class PortalRadioPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void busyLineOnTheWire();
    void busyAnswer_data();
    void busyAnswer();
    void busyAnswerArrivesInPieces_data();
    void busyAnswerArrivesInPieces();
    void confirmationsCountOldestFirst_data();
    void confirmationsCountOldestFirst();
    void retriesAreRepeatedFrames();
    void sessionEnding_data();
    void sessionEnding();
    void stallNeedsSomethingToWaitFor();
    void progressLines();
    void loopbackPairCarriesBytesAndResets();
    void registrationAnswers_data();
    void registrationAnswers();
    void missingModemIsSaidOnce();
    void lostComesBeforeItsLine();
};

void PortalRadioPartsTest::busyLineOnTheWire()
{
    QCOMPARE(Wire::busyLine(QStringLiteral("N0BBB"), QStringLiteral("N0CCC-7")), busyWords + "\r\n");
    QCOMPARE(Wire::busyAnswer(Wire::busyLine(QStringLiteral("N0AAA-15"), QStringLiteral("K1ABC"))),
             QStringLiteral("Busy: N0AAA-15 is in a session with K1ABC. Please call again later."));
}

void PortalRadioPartsTest::busyAnswer_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("busy");
    QTest::addRow("the line") << busyWords + "\r\n" << true;
    QTest::addRow("the line and more") << busyWords + "\r\nmore\r\n" << true;
    QTest::addRow("no line end yet") << busyWords << false;
    QTest::addRow("only a line feed") << busyWords + "\n" << false;
    QTest::addRow("after another line") << "hello\r\n" + busyWords + "\r\n" << false;
    QTest::addRow("as chat text") << "CHAT:" + busyWords + "\r\n" << false;
    QTest::addRow("other case") << busyWords.toLower() + "\r\n" << false;
    QTest::addRow("words added") << busyWords + " Sorry.\r\n" << false;
    QTest::addRow("no callsign") << QByteArray("Busy: someone is in a session with N0CCC. Please call again later.\r\n")
                                 << false;
    QTest::addRow("a transfer header") << QByteArray("MAIL:Busy.dat\r\n") << false;
    QTest::addRow("nothing") << QByteArray() << false;
}

void PortalRadioPartsTest::busyAnswer()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, busy);
    QCOMPARE(Wire::busyAnswer(bytes), busy ? QString::fromLatin1(busyWords) : QString());
}

void PortalRadioPartsTest::busyAnswerArrivesInPieces_data()
{
    QTest::addColumn<bool>("outgoing");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("foundAt"); // the piece that completes it; -1 for never
    const QByteArray line = busyWords + "\r\n";
    QTest::addRow("our call, one piece") << true << QByteArray() << 1000 << 0;
    QTest::addRow("our call, piece by piece") << true << QByteArray() << 10 << int((line.size() - 1) / 10);
    QTest::addRow("line end split") << true << QByteArray() << int(line.size() - 1) << 1;
    QTest::addRow("their call") << false << QByteArray() << 1000 << -1;
    QTest::addRow("other words came first") << true << QByteArray("hello\r\n") << 1000 << -1;
    // A long first line is no busy answer, and its bytes are not kept without end.
    QTest::addRow("long first line") << true << QByteArray(Wire::busyAnswerLimit + 10, 'x') << 1000 << -1;
}

void PortalRadioPartsTest::busyAnswerArrivesInPieces()
{
    QFETCH(bool, outgoing);
    QFETCH(QByteArray, before);
    QFETCH(int, piece);
    QFETCH(int, foundAt);
    RadioSession session("N0BBB", outgoing);
    QVERIFY(!session.answered(before) || before.isEmpty());
    const QByteArray line = busyWords + "\r\n";
    int found = -1;
    for (int at = 0, index = 0; at < line.size(); at += piece, ++index) {
        if (session.answered(line.mid(at, piece))) {
            QCOMPARE(found, -1); // said once
            found = index;
        }
    }
    QCOMPARE(found, foundAt);
    QCOMPARE(session.busy, foundAt >= 0 ? QString::fromLatin1(busyWords) : QString());
    QVERIFY(session.answer.size() <= Wire::busyAnswerLimit + 2);
}

void PortalRadioPartsTest::confirmationsCountOldestFirst_data()
{
    QTest::addColumn<QList<int>>("frames");
    QTest::addColumn<qint64>("unconfirmed");
    QTest::addColumn<qint64>("acknowledged");
    QTest::addColumn<int>("stillInFlight");
    QTest::addRow("all confirmed") << QList<int>{256, 256, 100} << qint64(0) << qint64(612) << 0;
    QTest::addRow("the newest waits") << QList<int>{256, 200, 100} << qint64(1) << qint64(456) << 1;
    QTest::addRow("none confirmed") << QList<int>{256, 256} << qint64(2) << qint64(0) << 2;
    QTest::addRow("count past what is in flight") << QList<int>{256} << qint64(9) << qint64(0) << 1;
    QTest::addRow("no count in the answer") << QList<int>{256, 10} << qint64(-1) << qint64(0) << 2;
}

void PortalRadioPartsTest::confirmationsCountOldestFirst()
{
    QFETCH(QList<int>, frames);
    QFETCH(qint64, unconfirmed);
    QFETCH(qint64, acknowledged);
    QFETCH(int, stillInFlight);
    RadioSession session = outgoingSession();
    for (const int size : frames)
        session.handed(size);
    session.localEnded = true;
    session.unconfirmed(unconfirmed);
    QCOMPARE(session.acknowledged, acknowledged);
    QCOMPARE(int(session.inFlight.size()), stillInFlight);
    QCOMPARE(session.allConfirmed(), stillInFlight == 0);
    // What is confirmed stays confirmed: a later, larger count takes nothing back.
    session.unconfirmed(frames.size());
    QCOMPARE(session.acknowledged, acknowledged);
}

void PortalRadioPartsTest::retriesAreRepeatedFrames()
{
    RadioSession session = outgoingSession();
    QVERIFY(!session.ownFrame("N0AAA>N0BBB <SABM P>"));
    QVERIFY(session.ownFrame("N0AAA>N0BBB <SABM P>"));
    QCOMPARE(session.retries(), 1);
    session.handed(256);
    session.handed(256);
    QVERIFY(!session.ownFrame("N0AAA>N0BBB <I S0 R0>"));
    QVERIFY(!session.ownFrame("N0AAA>N0BBB <I S1 R0>"));
    QVERIFY(session.ownFrame("N0AAA>N0BBB <I S0 R0>"));
    QVERIFY(!session.ownFrame("N0AAA>N0BBB <RR R2>"));
    QCOMPARE(session.retries(), 2);
    QVERIFY(session.summary().contains(QStringLiteral("2 retries")));
}

void PortalRadioPartsTest::sessionEnding_data()
{
    QTest::addColumn<bool>("outgoing");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("disconnectSent");
    QTest::addColumn<bool>("localEnded");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<bool>("orderly");
    QTest::addColumn<QString>("says");
    const QString plain = QStringLiteral("*** DISCONNECTED From Station N0BBB");
    const QString retry = QStringLiteral("*** DISCONNECTED RETRYOUT With N0BBB");
    QTest::addRow("our end, confirmed") << true << false << true << true << plain << true << "ended in order";
    QTest::addRow("our end, retries out") << true << false << true << true << retry << false << "broken off by the modem";
    QTest::addRow("they ended mid-send") << true << false << false << false << plain << false << "broken off by the modem";
    QTest::addRow("they ended before confirming")
        << true << false << false << true << plain << false << "before every frame was confirmed";
    QTest::addRow("busy, after our end") << true << true << true << true << plain << false << "was busy and kept nothing";
    QTest::addRow("busy, they hung up") << true << true << false << false << plain << false << "was busy and kept nothing";
    QTest::addRow("caller ended") << false << false << false << false << plain << true << "ended by the caller";
    QTest::addRow("caller's retries out") << false << false << false << false << retry << false << "broken off by the modem";
}

void PortalRadioPartsTest::sessionEnding()
{
    QFETCH(bool, outgoing);
    QFETCH(bool, busy);
    QFETCH(bool, disconnectSent);
    QFETCH(bool, localEnded);
    QFETCH(QString, notice);
    QFETCH(bool, orderly);
    QFETCH(QString, says);
    RadioSession session("N0BBB", outgoing);
    session.linked = true;
    if (busy)
        QVERIFY(session.answered(busyWords + "\r\n"));
    session.disconnectSent = disconnectSent;
    session.localEnded = localEnded;
    const RadioSession::Ending ending = session.endOf(notice);
    QCOMPARE(ending.orderly, orderly);
    QVERIFY2(ending.line.contains(says), qPrintable(ending.line));
    QVERIFY(ending.line.contains(QStringLiteral("N0BBB")));
}

void PortalRadioPartsTest::stallNeedsSomethingToWaitFor()
{
    RadioSession idle = outgoingSession();
    QTest::qWait(300);
    // A linked session with nothing unconfirmed waits for nobody: an idle chat is no stall.
    QVERIFY(!idle.stalled(150));
    idle.handed(100);
    idle.handed(100);
    QVERIFY(idle.stalled(150));
    QVERIFY(!idle.stalled(60 * 1000));
    idle.unconfirmed(1); // one confirmed just now: the session moved
    QCOMPARE(int(idle.inFlight.size()), 1);
    QVERIFY(!idle.stalled(150));

    RadioSession calling("N0BBB", true); // no answer to the call yet
    QTest::qWait(20);
    QVERIFY(calling.stalled(5));
}

void PortalRadioPartsTest::progressLines()
{
    RadioSession out = outgoingSession();
    QVERIFY(!out.progress(true)); // nothing given to the modem yet
    out.handed(256);
    out.handed(44);
    out.unconfirmed(1);
    const std::optional<QString> line = out.progress(true);
    QVERIFY(line);
    QVERIFY2(line->contains(QStringLiteral("300 bytes given")) && line->contains(QStringLiteral("256 acknowledged")),
             qPrintable(*line));
    // Not again before its time, unless forced.
    QVERIFY(!out.progress(false));

    RadioSession in("N0CCC", false);
    QVERIFY(!in.progress(true));
    in.received = 1234;
    QVERIFY(in.progress(true).value_or(QString()).contains(QStringLiteral("1234 bytes received")));
}

void PortalRadioPartsTest::loopbackPairCarriesBytesAndResets()
{
    for (const bool reset : {false, true}) {
        const PortalResult<LoopbackSocket::Pair> pair = LoopbackSocket::pair();
        QVERIFY2(pair, qPrintable(pair.why()));
        QVERIFY(::send(pair->ours, "abc", 3, MSG_NOSIGNAL) == 3);
        char buffer[8] = {};
        QCOMPARE(::recv(pair->theirs, buffer, sizeof buffer, 0), ssize_t(3));
        QCOMPARE(QByteArray(buffer, 3), QByteArray("abc"));
        // How the end looks on the other side is what tells the data link delivered from not.
        if (reset)
            LoopbackSocket::closeWithReset(pair->ours);
        else
            ::close(pair->ours);
        errno = 0;
        const ssize_t n = ::recv(pair->theirs, buffer, sizeof buffer, 0);
        if (reset) {
            QCOMPARE(n, ssize_t(-1));
            QCOMPARE(errno, ECONNRESET);
        } else {
            QCOMPARE(n, ssize_t(0));
        }
        ::close(pair->theirs);
    }
    const PortalResult<LoopbackSocket::Listener> listener = LoopbackSocket::listener(1);
    QVERIFY(listener);
    QVERIFY(listener->port != 0);
    ::close(listener->fd);
}

void PortalRadioPartsTest::registrationAnswers_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addRow("callsign taken") << true;
    QTest::addRow("callsign refused") << false;
}

void PortalRadioPartsTest::registrationAnswers()
{
    QFETCH(bool, accept);
    AgwPort port(accept);
    AgwConnection agw;
    Heard heard(agw);
    agw.aim(QStringLiteral("127.0.0.1"), port.port(), "N0AAA-3", 50);
    agw.open();
    QTRY_VERIFY_WITH_TIMEOUT(heard.count(QStringLiteral("line: Radio modem program answers")) == 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(port.kinds.contains('X'), 5000);
    if (accept) {
        QTRY_VERIFY_WITH_TIMEOUT(agw.registered(), 5000);
        QCOMPARE(heard.count(QStringLiteral("ready")), 1);
        // Frames about sessions are handed on; the registration answer is not.
        AgwFrame data = AgwFrame::sessionData(0, "N0BBB", "N0AAA-3", "hello");
        port.client->write(data.encode());
        QTRY_COMPARE_WITH_TIMEOUT(heard.frames.size(), 1, 5000);
        QCOMPARE(heard.frames.first().kind, 'D');
        QCOMPARE(heard.frames.first().data, QByteArray("hello"));
        // Giving up the link gives the callsign back, without a line of its own.
        const int lines = heard.count(QStringLiteral("line: "));
        agw.close();
        QTRY_VERIFY_WITH_TIMEOUT(port.kinds.contains('x'), 5000);
        QCOMPARE(heard.count(QStringLiteral("line: ")), lines);
        QVERIFY(!agw.registered());
        QCOMPARE(heard.count(QStringLiteral("lost")), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(heard.count(QStringLiteral("line: The radio modem program refused the callsign N0AAA-3")) == 1,
                             5000);
    QVERIFY(agw.lastFailure().contains(QStringLiteral("N0AAA-3")));
    // A refusal is final: no try every 50 ms.
    QTest::qWait(300);
    QCOMPARE(port.connections, 1);
    QVERIFY(!agw.registered());
    QCOMPARE(heard.count(QStringLiteral("ready")), 0);
}

void PortalRadioPartsTest::missingModemIsSaidOnce()
{
    quint16 unused = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        unused = probe.serverPort();
    }
    AgwConnection agw;
    Heard heard(agw);
    agw.aim(QStringLiteral("127.0.0.1"), unused, "N0AAA", 30);
    agw.open();
    QTRY_VERIFY_WITH_TIMEOUT(!agw.lastFailure().isEmpty(), 5000);
    // It keeps trying, but the same failure is said once.
    QTest::qWait(400);
    QVERIFY(heard.count(QStringLiteral("lost")) > 2);
    QCOMPARE(heard.count(QStringLiteral("line: No radio modem program at 127.0.0.1 port %1").arg(unused)), 1);
    QCOMPARE(heard.count(QStringLiteral("line: ")), 1);
    agw.close();
    const int tries = heard.count(QStringLiteral("lost"));
    QTest::qWait(200);
    QCOMPARE(heard.count(QStringLiteral("lost")), tries);
}

void PortalRadioPartsTest::lostComesBeforeItsLine()
{
    for (const bool garbage : {false, true}) {
        AgwPort port(true);
        AgwConnection agw;
        Heard heard(agw);
        agw.aim(QStringLiteral("127.0.0.1"), port.port(), "N0AAA", 60 * 1000);
        agw.open();
        QTRY_VERIFY_WITH_TIMEOUT(agw.registered(), 5000);
        heard.events.clear();
        if (garbage)
            port.client->write(QByteArray(AgwFrame::headerSize, '\xff'));
        else
            port.client->close();
        QTRY_VERIFY_WITH_TIMEOUT(heard.count(QStringLiteral("line: ")) == 1, 5000);
        // Sessions end with the modem program before the box says it is gone.
        QCOMPARE(heard.events.size(), 2);
        QCOMPARE(heard.events.first(), QStringLiteral("lost"));
        QVERIFY2(heard.events.last().contains(garbage ? QStringLiteral("Radio link closed") : QStringLiteral("closed the AGW")),
                 qPrintable(heard.events.last()));
        QVERIFY(!agw.registered());
    }
}

QTEST_GUILESS_MAIN(PortalRadioPartsTest)
#include "tst_portal_radioparts.moc"
