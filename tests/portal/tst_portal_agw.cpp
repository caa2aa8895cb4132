#include "AgwFrame.h"

#include <QTest>

namespace {

// A header written out byte by byte, as the protocol lays it out.
QByteArray header(char kind, quint8 port, const QByteArray &from, const QByteArray &to, quint32 length,
                  quint8 pid = 0, quint32 user = 0)
{
    QByteArray h(AgwFrame::headerSize, '\0');
    h[0] = char(port);
    h[4] = kind;
    h[6] = char(pid);
    h.replace(8, from.size(), from);
    h.replace(18, to.size(), to);
    for (int i = 0; i < 4; ++i) {
        h[28 + i] = char((length >> (8 * i)) & 0xFF);
        h[32 + i] = char((user >> (8 * i)) & 0xFF);
    }
    return h;
}

QByteArray binary(int size)
{
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data.append(char((i * 37 + 11) & 0xFF));
    return data;
}

} // namespace

class PortalAgwTest : public QObject
{
    Q_OBJECT

private slots:
    void builtFrameLayout_data();
    void builtFrameLayout();
    void splitAnywhere();
    void byteByByte();
    void refusedHeader_data();
    void refusedHeader();
    void dataAtTheLimit();
    void callsign_data();
    void callsign();
    void outstandingNumber();
};

void PortalAgwTest::builtFrameLayout_data()
{
    QTest::addColumn<AgwFrame>("built");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("register") << AgwFrame::registerCall("N0CALL") << header('X', 0, "N0CALL", {}, 0);
    QTest::addRow("connect on port 1") << AgwFrame::connectTo(1, "N0CALL-1", "N1CALL-15")
                                       << header('C', 1, "N0CALL-1", "N1CALL-15", 0);
    const QByteArray data = binary(300);
    QTest::addRow("data with PID F0") << AgwFrame::sessionData(0, "A1", "B2", data)
                                      << header('D', 0, "A1", "B2", 300, 0xF0) + data;
    QTest::addRow("disconnect") << AgwFrame::disconnect(0, "A1", "B2") << header('d', 0, "A1", "B2", 0);
    QTest::addRow("outstanding") << AgwFrame::outstanding(0, "A1", "B2") << header('Y', 0, "A1", "B2", 0);
    QTest::addRow("version") << AgwFrame::version() << header('R', 0, {}, {}, 0);
}

void PortalAgwTest::builtFrameLayout()
{
    QFETCH(AgwFrame, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.encode(), expected);

    AgwParser parser;
    const QList<AgwFrame> back = parser.feed(expected);
    QCOMPARE(back.size(), 1);
    QCOMPARE(back.first().kind, built.kind);
    QCOMPARE(back.first().port, built.port);
    QCOMPARE(back.first().pid, built.pid);
    QCOMPARE(back.first().callFrom, built.callFrom);
    QCOMPARE(back.first().callTo, built.callTo);
    QCOMPARE(back.first().data, built.data);
    QCOMPARE(parser.pending(), 0);
}

void PortalAgwTest::splitAnywhere()
{
    // A connect notice, data holding NULs and header-like bytes, a disconnect.
    const QByteArray notice = "*** CONNECTED With Station N1CALL\r";
    const QByteArray tricky = header('D', 0, "X", "Y", 5) + QByteArray(20, '\0') + binary(40);
    const QByteArray stream = header('C', 0, "N1CALL", "N0CALL", quint32(notice.size())) + notice +
                              header('D', 0, "N1CALL", "N0CALL", quint32(tricky.size()), 0xF0, 7) + tricky +
                              header('d', 0, "N1CALL", "N0CALL", 0);
    for (int first = 0; first <= stream.size(); ++first) {
        for (int second = first; second <= stream.size(); second += 17) {
            AgwParser parser;
            QList<AgwFrame> frames = parser.feed(stream.left(first));
            frames += parser.feed(stream.mid(first, second - first));
            frames += parser.feed(stream.mid(second));
            QVERIFY2(!parser.failed(), qPrintable(parser.failure()));
            QCOMPARE(frames.size(), 3);
            QCOMPARE(frames.at(0).kind, 'C');
            QCOMPARE(frames.at(0).data, notice);
            QCOMPARE(frames.at(1).data, tricky);
            QCOMPARE(frames.at(1).user, 7u);
            QCOMPARE(frames.at(1).callFrom, QByteArray("N1CALL"));
            QCOMPARE(frames.at(2).kind, 'd');
            QCOMPARE(parser.pending(), 0);
        }
    }
}

void PortalAgwTest::byteByByte()
{
    const QByteArray data = binary(1000);
    const QByteArray stream = AgwFrame::sessionData(0, "A", "B", data).encode() + AgwFrame::ports().encode();
    AgwParser parser;
    QList<AgwFrame> frames;
    for (const char byte : stream) {
        frames += parser.feed(QByteArray(1, byte));
        // Never more held than one frame's header and data.
        QVERIFY(parser.pending() <= AgwFrame::headerSize + data.size());
    }
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0).data, data);
    QCOMPARE(frames.at(1).kind, 'G');
}

void PortalAgwTest::refusedHeader_data()
{
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<QString>("word");

    QTest::addRow("text instead of frames") << QByteArray("HTTP/1.1 400 Bad Request\r\n\r\nxxxxxxxxxxxx") << "unknown kind";
    QByteArray reserved = header('D', 0, "A", "B", 0);
    reserved[5] = 1;
    QTest::addRow("reserved byte set") << reserved << "reserved";
    QByteArray bigPort = header('D', 0, "A", "B", 0);
    bigPort[2] = 1;
    QTest::addRow("port word past 255") << bigPort << "reserved";
    QTest::addRow("length past the limit") << header('D', 0, "A", "B", 4096 + 1) << "4097 bytes";
    QTest::addRow("length near 4 GiB") << header('K', 0, "A", "B", 0xFFFFFFFFu) << "4294967295 bytes";
}

void PortalAgwTest::refusedHeader()
{
    QFETCH(QByteArray, bad);
    QFETCH(QString, word);
    AgwParser parser(4096);
    const QByteArray good = AgwFrame::registerCall("N0CALL").encode();
    // The frame before the bad header still counts; the bad one stops everything.
    const QList<AgwFrame> frames = parser.feed(good + bad);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().kind, 'X');
    QVERIFY(parser.failed());
    QVERIFY2(parser.failure().contains(word), qPrintable(parser.failure()));
    // Nothing is taken or held after the failure: the caller closes the link.
    QVERIFY(parser.feed(good).isEmpty());
    QCOMPARE(parser.pending(), 0);
    parser.reset();
    QCOMPARE(parser.feed(good).size(), 1);
}

void PortalAgwTest::dataAtTheLimit()
{
    AgwParser parser(512);
    // The limit itself is taken, and refused one byte later before any data is held.
    QCOMPARE(parser.feed(AgwFrame::sessionData(0, "A", "B", binary(512)).encode()).size(), 1);
    QVERIFY(!parser.failed());
    QVERIFY(parser.feed(header('D', 0, "A", "B", 513)).isEmpty());
    QVERIFY(parser.failed());
}

void PortalAgwTest::callsign_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addRow("plain") << "N0CALL" << true;
    QTest::addRow("lower case") << "n0call" << true;
    QTest::addRow("ssid 15") << "N0CALL-15" << true;
    QTest::addRow("ssid 16") << "N0CALL-16" << false;
    QTest::addRow("seven characters") << "N0CALLS" << false;
    QTest::addRow("empty") << "" << false;
    QTest::addRow("ip address") << "192.168.0.5" << false;
    QTest::addRow("space") << "N0 CAL" << false;
    QTest::addRow("dash without ssid") << "N0CALL-" << false;
    QTest::addRow("line end after the ssid") << "DL1ABC-15\n" << false;
    QTest::addRow("line end after the call") << "N0CALL\n" << false;
}

void PortalAgwTest::callsign()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(AgwFrame::isCallsign(text), valid);
}

void PortalAgwTest::outstandingNumber()
{
    AgwParser parser;
    QByteArray count(4, '\0');
    count[0] = char(0x2C);
    count[1] = char(0x01);
    const QList<AgwFrame> frames = parser.feed(header('Y', 0, "A", "B", 4) + count + header('Y', 0, "A", "B", 0));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0).number(), 300);
    QCOMPARE(frames.at(1).number(), -1);
}

QTEST_GUILESS_MAIN(PortalAgwTest)
#include "tst_portal_agw.moc"
