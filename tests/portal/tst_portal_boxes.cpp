#include "PortalStation.h"
#include "TestWaits.h"
#include "StatusText.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>

#include <algorithm>

namespace {

enum Feed { Prepended, AddedBelow, SendAddedBelow, Chat };

void feed(PortalStation &station, int how, const QString &line)
{
    switch (how) {
    case Prepended: station.window->PrependConnectionStatus(line); break;
    case AddedBelow: emit station.link().connectionStatusAdded(line); break;
    case SendAddedBelow: emit station.link().sendStatusAdded(line); break;
    case Chat: station.window->ShowChatReceived(line); break;
    }
}

qsizetype longestLine(const QString &text)
{
    qsizetype longest = 0;
    for (const QString &line : text.split(u'\n'))
        longest = std::max(longest, line.size());
    return longest;
}

} // namespace

/// The status and chat boxes: entries on lines of their own, a bounded
/// number of lines, and a cost per line that does not grow with the box.
class PortalBoxesTest : public QObject
{
    Q_OBJECT

private slots:
    void shortName_data();
    void shortName();
    void entriesOnTheirOwnLines_data();
    void entriesOnTheirOwnLines();
    void keepLastLinesOnTheBox_data();
    void keepLastLinesOnTheBox();
    void boxesKeepTheNewestLines_data();
    void boxesKeepTheNewestLines();
    void longLinesAreBoundedByCharacters_data();
    void longLinesAreBoundedByCharacters();
    void longLineShortenedInTheMiddle();
    void floodOfChatLinesStaysFast_data();
    void floodOfChatLinesStaysFast();
    void hugeRefusedNameLeavesLaterConnectionsFast();
};

void PortalBoxesTest::shortName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("empty") << QString();
    QTest::addRow("at the limit") << QStringLiteral("MAIL") + QString(StatusText::longestName - 8, u'n') + ".dat";
    QTest::addRow("one past the limit") << QStringLiteral("MAIL") + QString(StatusText::longestName - 7, u'n') + ".dat";
    QTest::addRow("sixty thousand") << QStringLiteral("MAIL") + QString(60000, u'n') + ".dat";
}

void PortalBoxesTest::shortName()
{
    QFETCH(QString, name);
    const QString shown = StatusText::shortName(name);
    if (name.size() <= StatusText::longestName) {
        QCOMPARE(shown, name);
        return;
    }
    QCOMPARE(shown.size(), StatusText::longestName);
    // Beginning and end stay readable; the cut is marked.
    QVERIFY(shown.startsWith(name.left(StatusText::longestName / 2 - 5)));
    QVERIFY(shown.endsWith(name.right(StatusText::longestName / 2 - 5)));
    QVERIFY(shown.contains(QStringLiteral("...")));
}

void PortalBoxesTest::entriesOnTheirOwnLines_data()
{
    // Steps on the send-status box: "below:" adds a line below, "append:" is AppendSendStatus.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::addRow("append after add below")
        << QStringList{"below:Connect attempted to 10.0.0.2 on port 23, sendMode=2, file=MAIL - 26.dat",
                       "append:Send complete for MAIL - 26.dat"}
        << "\nConnect attempted to 10.0.0.2 on port 23, sendMode=2, file=MAIL - 26.dat\nSend complete for MAIL - 26.dat\n";
    QTest::addRow("append after append") << QStringList{"append:A", "append:B"} << "A\nB\n";
    QTest::addRow("add below after append") << QStringList{"append:A", "below:B"} << "A\n\nB";
    QTest::addRow("append to an empty box") << QStringList{"append:A"} << "A\n";
}

void PortalBoxesTest::entriesOnTheirOwnLines()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    PortalStation station(0, 0);
    station.start();
    for (const QString &step : steps) {
        const QString line = step.section(u':', 1);
        if (step.startsWith(QStringLiteral("below:")))
            emit station.link().sendStatusAdded(line);
        else
            station.window->AppendSendStatus(line);
    }
    QCOMPARE(station.text("Txtlogsend"), shown);
}

void PortalBoxesTest::keepLastLinesOnTheBox_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("kept");
    QTest::addRow("short text unchanged") << "a\nb" << 3 << "a\nb";
    QTest::addRow("oldest lines dropped") << "1\n2\n3\n4\n5" << 3 << "3\n4\n5";
    QTest::addRow("trailing break is an empty last line") << "1\n2\n3\n" << 3 << "2\n3\n";
    QTest::addRow("leading empty lines vanish") << "x\n\n\na" << 3 << "a";
    QTest::addRow("empty line inside is kept") << "x\na\n\nb" << 3 << "a\n\nb";
    QTest::addRow("only empty lines kept") << "x\n\n\n" << 3 << "";
    QTest::addRow("exactly n lines unchanged") << "a\nb\nc" << 3 << "a\nb\nc";
    QString twelve;
    for (int i = 1; i <= 12; ++i)
        twelve += QStringLiteral("line %1\n").arg(i);
    QString lastTen;
    for (int i = 4; i <= 12; ++i)
        lastTen += QStringLiteral("line %1\n").arg(i);
    QTest::addRow("send box keeps ten") << twelve << 10 << lastTen;
}

void PortalBoxesTest::keepLastLinesOnTheBox()
{
    QFETCH(QString, box);
    QFETCH(int, n);
    QFETCH(QString, kept);
    QPlainTextEdit edit;
    edit.setPlainText(box);
    edit.moveCursor(QTextCursor::Start);
    TAVRIXTelnetserver::KeepLastLines(&edit, n);
    QCOMPARE(edit.toPlainText(), kept);
    QCOMPARE(edit.textCursor().position(), kept.size());
}

void PortalBoxesTest::boxesKeepTheNewestLines_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("newestOnTop");
    QTest::addRow("connection status, newest on top")
        << "Txtlogrecv" << int(Prepended) << TAVRIXTelnetserver::statusLineLimit << true;
    QTest::addRow("connection status, added below")
        << "Txtlogrecv" << int(AddedBelow) << TAVRIXTelnetserver::statusLineLimit << false;
    QTest::addRow("send status, added below")
        << "Txtlogsend" << int(SendAddedBelow) << TAVRIXTelnetserver::statusLineLimit << false;
    QTest::addRow("chat display") << "Txtchatrecv" << int(Chat) << TAVRIXTelnetserver::chatLineLimit << true;
}

void PortalBoxesTest::boxesKeepTheNewestLines()
{
    QFETCH(QString, box);
    QFETCH(int, how);
    QFETCH(int, limit);
    QFETCH(bool, newestOnTop);
    PortalStation station(0, 0);
    station.start();
    const int total = limit + 500;
    for (int i = 0; i < total; ++i)
        feed(station, how, QStringLiteral("entry %1.").arg(i));
    const QString text = station.text(box.toLatin1().constData());
    const QStringList lines = text.split(u'\n');
    QVERIFY2(lines.size() <= limit + 1, qPrintable(QString::number(lines.size())));
    const QString newest = QStringLiteral("entry %1.").arg(total - 1);
    QVERIFY(newestOnTop ? lines.first().endsWith(newest) : lines.last() == newest);
    QVERIFY(!text.contains(QStringLiteral("entry 0.")));
    QVERIFY(text.contains(QStringLiteral("entry %1.").arg(total - limit + 10)));
}

void PortalBoxesTest::longLinesAreBoundedByCharacters_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("newestOnTop");
    QTest::addRow("connection status, newest on top") << "Txtlogrecv" << int(Prepended) << 900 << true;
    QTest::addRow("connection status, added below") << "Txtlogrecv" << int(AddedBelow) << 900 << false;
    QTest::addRow("send status, added below") << "Txtlogsend" << int(SendAddedBelow) << 900 << false;
    QTest::addRow("chat display, longest lines") << "Txtchatrecv" << int(Chat) << 3900 << true;
    QTest::addRow("chat display, middling lines") << "Txtchatrecv" << int(Chat) << 150 << true;
}

// Far fewer lines than the line limit, but long ones: what a box keeps is
// bounded by characters too, whole lines drop, the newest ones stay.
void PortalBoxesTest::longLinesAreBoundedByCharacters()
{
    QFETCH(QString, box);
    QFETCH(int, how);
    QFETCH(int, length);
    QFETCH(bool, newestOnTop);
    PortalStation station(0, 0);
    station.start();
    const int total = int(3 * TAVRIXTelnetserver::boxCharacterLimit / length) + 1;
    QVERIFY(total < TAVRIXTelnetserver::statusLineLimit);
    for (int i = 0; i < total; ++i)
        feed(station, how, QStringLiteral("entry %1 ").arg(i) + QString(length, u'x') + QStringLiteral(" end"));
    const QString text = station.text(box.toLatin1().constData());
    QVERIFY2(text.size() <= TAVRIXTelnetserver::boxCharacterLimit, qPrintable(QString::number(text.size())));
    // No more is dropped than the bound asks for.
    QVERIFY2(text.size() > TAVRIXTelnetserver::boxCharacterLimit - 2 * (length + 40),
             qPrintable(QString::number(text.size())));
    QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    if (newestOnTop)
        std::reverse(lines.begin(), lines.end());
    QVERIFY(lines.size() > 1);
    // Oldest first now: consecutive entries, each whole, the newest last.
    const int first = total - int(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString entry = QStringLiteral("entry %1 ").arg(first + i);
        QVERIFY2(lines.at(i).contains(entry) && lines.at(i).endsWith(QStringLiteral(" end")),
                 qPrintable(QStringLiteral("line %1: %2").arg(i).arg(lines.at(i).left(40))));
    }
}

void PortalBoxesTest::longLineShortenedInTheMiddle()
{
    PortalStation station(0, 0);
    station.start();
    const QString line = QStringLiteral("Refused: ") + QString(60000, u'n') + QStringLiteral(" END");
    station.window->PrependConnectionStatus(line);
    const QString top = station.text("Txtlogrecv").section(u'\n', 0, 0);
    QVERIFY(top.size() <= TAVRIXTelnetserver::longestStatusLine);
    QVERIFY(top.startsWith(QStringLiteral("Refused: nnn")));
    QVERIFY(top.endsWith(QStringLiteral("nnn END")));
}

void PortalBoxesTest::floodOfChatLinesStaysFast_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("length");
    QTest::addRow("8000 short lines") << 8000 << 2;
    QTest::addRow("300 lines of 60000 characters") << 300 << 60000;
}

void PortalBoxesTest::floodOfChatLinesStaysFast()
{
    QFETCH(int, count);
    QFETCH(int, length);
    PortalStation station(0, 0);
    station.start();
    QSignalSpy shown(&station.link(), &DataLink::chatReceived);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, station.link().listenPort());
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::ConnectedState, TestWaits::settleMs);
    TRY_VERIFY(station.link().chatModeActive());

    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "CHAT:" + QByteArray(length, 'h') + ' ' + QByteArray::number(i) + "\r\n";
    QElapsedTimer clock;
    clock.start();
    peer.write(lines);
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), count, 120000);
    const qint64 ms = clock.elapsed();
    qInfo("%d chat lines of %d characters shown in %lld ms", count, length, ms);
    // Rebuilding the box for every line took over a minute; the bound leaves room for a loaded machine.
    QVERIFY2(ms < 20000, qPrintable(QString::number(ms)));
    const QString top = station.text("Txtchatrecv").section(u'\n', 0, 0);
    QVERIFY(top.endsWith(QStringLiteral(" %1").arg(count - 1)));
    QVERIFY(top.size() <= TAVRIXTelnetserver::longestChatLine);
}

void PortalBoxesTest::hugeRefusedNameLeavesLaterConnectionsFast()
{
    PortalStation station(0, 0);
    station.start();
    const quint16 port = station.link().listenPort();
    {
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::ConnectedState, TestWaits::settleMs);
        peer.write("MAIL:" + QByteArray(60000, 'n') + ".dat\r\nsome content\r\n");
        peer.disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(peer.state() == QAbstractSocket::UnconnectedState, TestWaits::settleMs);
    }
    TRY_VERIFY(station.link().isListening());

    QSignalSpy shown(&station.link(), &DataLink::chatReceived);
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= 20; ++i) {
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::ConnectedState, TestWaits::settleMs);
        peer.write("CHAT:after " + QByteArray::number(i) + "\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(shown.count(), i, TestWaits::settleMs);
        peer.disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(station.link().isListening(), TestWaits::settleMs);
    }
    const qint64 ms = clock.elapsed();
    qInfo("20 connections after the long name took %lld ms", ms);
    // Each one took seconds while the long line was rebuilt with the box.
    QVERIFY2(ms < 15000, qPrintable(QString::number(ms)));
    QVERIFY(longestLine(station.text("Txtlogrecv")) <= TAVRIXTelnetserver::longestStatusLine);
    QVERIFY(longestLine(station.text("Txtlogsend")) <= TAVRIXTelnetserver::longestStatusLine);
}

PORTAL_TEST_MAIN(PortalBoxesTest)
#include "tst_portal_boxes.moc"
