// Two portals over two real sound-card modem programs, joined by audio
// only. scripts/radio-e2e.sh starts the modem programs and runs this with
// their AGW ports; without them every case is skipped.
#include "AgwFrame.h"
#include "PortalStation.h"
#include "RadioLink.h"
#include "RadioSetting.h"
#include "TransferLog.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QTcpSocket>

#include <csignal>
#include <memory>

namespace {

quint16 portFrom(const char *name)
{
    return quint16(qEnvironmentVariableIntValue(name));
}

struct RadioStation : PortalStation
{
    RadioStation(const QString &call, quint16 agwPort, const QString &peerEntry)
        : PortalStation(0, 0)
        , setting(home.filePath(QStringLiteral("program/") + RadioSetting::fileName()))
    {
        QFile file(setting.path());
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("link=radio\r\nagwhost=127.0.0.1\r\nagwport=%1\r\n").arg(agwPort).toLatin1());
        file.close();
        start();
        find<QLineEdit>("Txtstationid")->setText(call);
        window->setRadioSetting(&setting);
        find<QLineEdit>("Text1")->setText(peerEntry);
        click("Commandadd");
        find<QListWidget>("List1")->setCurrentRow(0);
    }
    bool ready() const { return window->radioLink().registered(); }
    QStringList finalNames() const { return QDir(setup.receiveDirectory).entryList(QDir::Files | QDir::NoDotAndDotDot); }
    RadioSetting setting;
};

QByteArray message(int size)
{
    QByteArray text = "From: N0AAA\r\nTo: N0BBB\r\nSubject: over the air\r\n\r\n";
    for (int line = 1; text.size() < size - 40; ++line)
        text += "Line " + QByteArray::number(line) + " of a packet mail message \xe9\r\n";
    return text + "73\r\n";
}

} // namespace

class PortalRadioEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bothRegister();
    void mailArrivesByteIdentical();
    void chatBothWays();
    void busyStationRefusesTheMail();
    void modemKilledMidTransferKeepsNoFile();
    void cleanupTestCase();

private:
    std::unique_ptr<RadioStation> m_a;
    std::unique_ptr<RadioStation> m_b;
};

void PortalRadioEndToEnd::initTestCase()
{
    if (!portFrom("RADIO_E2E_AGW_A") || !portFrom("RADIO_E2E_AGW_B"))
        QSKIP("run by scripts/radio-e2e.sh, which starts the modem programs");
    m_a = std::make_unique<RadioStation>(QStringLiteral("N0AAA"), portFrom("RADIO_E2E_AGW_A"),
                                         QStringLiteral("N0BBB-127.0.0.2"));
    m_b = std::make_unique<RadioStation>(QStringLiteral("N0BBB"), portFrom("RADIO_E2E_AGW_B"),
                                         QStringLiteral("N0AAA-127.0.0.1"));
    m_a->window->setWindowTitle(QStringLiteral("telnet server - N0AAA"));
    m_b->window->setWindowTitle(QStringLiteral("telnet server - N0BBB"));
    m_a->window->show();
    m_b->window->show();
    // Side by side once shown: the first show centres each window.
    QVERIFY(QTest::qWaitForWindowExposed(m_a->window.get()));
    QVERIFY(QTest::qWaitForWindowExposed(m_b->window.get()));
    m_a->window->move(0, 0);
    m_b->window->move(m_a->window->frameGeometry().width() + 10, 0);
}

void PortalRadioEndToEnd::bothRegister()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_a->ready() && m_b->ready(), 15000);
}

void PortalRadioEndToEnd::mailArrivesByteIdentical()
{
    const QString name = QStringLiteral("MAIL - over the air.dat");
    const QByteArray mail = message(qEnvironmentVariableIntValue("RADIO_E2E_BYTES") > 0
                                        ? qEnvironmentVariableIntValue("RADIO_E2E_BYTES")
                                        : 900);
    m_a->putInOutbox(name, mail);
    QElapsedTimer clock;
    clock.start();
    m_a->click("commandsend");
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Received ") + name), 60000);
    const qint64 receivedMs = clock.elapsed();
    QCOMPARE(m_b->received(name), mail);
    QTRY_VERIFY_WITH_TIMEOUT(m_a->text("Txtlogsend").contains(name + QStringLiteral(" delivered")), 30000);
    const qint64 deliveredMs = clock.elapsed();
    const qint64 wireBytes = mail.size() + QByteArray("MAIL:").size() + name.size() + 2;
    qInfo().noquote() << QStringLiteral("RADIO-E2E transfer: %1 bytes of file (%2 on the wire) received whole after "
                                        "%3 s (%4 bytes/s), delivery confirmed after %5 s")
                             .arg(mail.size())
                             .arg(wireBytes)
                             .arg(receivedMs / 1000.0, 0, 'f', 1)
                             .arg(wireBytes * 1000.0 / receivedMs, 0, 'f', 0)
                             .arg(deliveredMs / 1000.0, 0, 'f', 1);
}

void PortalRadioEndToEnd::chatBothWays()
{
    m_a->click("commandstartchat");
    QTRY_VERIFY_WITH_TIMEOUT(m_a->link().chatModeActive() && m_b->link().chatModeActive(), 30000);
    m_a->find<QLineEdit>("Txtchatsend")->setText(QStringLiteral("hello over the air"));
    m_a->click("commandchatsend");
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtchatrecv").contains(QStringLiteral("N0AAA-hello over the air")), 30000);
    m_b->find<QLineEdit>("Txtchatsend")->setText(QStringLiteral("loud and clear"));
    m_b->click("commandchatsend");
    QTRY_VERIFY_WITH_TIMEOUT(m_a->text("Txtchatrecv").contains(QStringLiteral("N0BBB-loud and clear")), 30000);
    m_a->click("commandendchat");
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtchatrecv").contains(QStringLiteral("Chat session ended")), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_a->window->radioLink().sessionOpen() && !m_b->window->radioLink().sessionOpen(),
                             30000);
    if (const int hold = qEnvironmentVariableIntValue("RADIO_E2E_HOLD_MS"); hold > 0) {
        // Time for a screenshot of both windows after a transfer and a chat.
        qInfo("RADIO-E2E holding the windows for a screenshot");
        QTest::qWait(hold);
    }
}

void PortalRadioEndToEnd::busyStationRefusesTheMail()
{
    // A third station on the first modem's air: it holds N0BBB in a session.
    QTcpSocket third;
    third.connectToHost(QStringLiteral("127.0.0.1"), portFrom("RADIO_E2E_AGW_A"));
    QVERIFY(third.waitForConnected(5000));
    AgwParser parser;
    bool linked = false;
    connect(&third, &QTcpSocket::readyRead, this, [&] {
        for (const AgwFrame &frame : parser.feed(third.readAll()))
            linked = linked || (frame.kind == 'C' && frame.callFrom == "N0BBB");
    });
    third.write(AgwFrame::registerCall("N0CCC").encode());
    third.write(AgwFrame::connectTo(0, "N0CCC", "N0BBB").encode());
    QTRY_VERIFY_WITH_TIMEOUT(linked, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->window->radioLink().sessionOpen(), 10000);

    const QString name = QStringLiteral("MAIL - while busy.dat");
    const QStringList before = m_b->finalNames();
    m_a->putInOutbox(name, message(200));
    m_a->click("commandsend");
    const QString busy = QStringLiteral("Busy: N0BBB is in a session with N0CCC. Please call again later.");
    QTRY_VERIFY_WITH_TIMEOUT(m_a->text("Txtlogsend").contains(QStringLiteral("Send of ") + name +
                                                              QStringLiteral(" refused")) ||
                                 m_a->text("Txtlogsend").contains(name + QStringLiteral(" was refused")),
                             60000);
    QVERIFY2(m_a->text("Txtlogsend").contains(busy), qPrintable(m_a->text("Txtlogsend")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_a->window->radioLink().sessionOpen(), 30000);
    QVERIFY(!m_a->text("Txtlogsend").contains(name + QStringLiteral(" delivered")));
    TransferLog::Tail tail;
    QVERIFY(m_a->logFile->readLast(1, &tail));
    QCOMPARE(tail.records.size(), 1);
    QCOMPARE(tail.records.first().file, name);
    QCOMPARE(tail.records.first().result, TransferRecord::Result::Refused);
    QCOMPARE(m_b->finalNames(), before);
    QVERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("A radio call from N0AAA was turned away")));
    if (const int hold = qEnvironmentVariableIntValue("RADIO_E2E_HOLD_MS"); hold > 0) {
        qInfo("RADIO-E2E busy refusal shown");
        QTest::qWait(hold);
    }

    third.write(AgwFrame::disconnect(0, "N0CCC", "N0BBB").encode());
    QTRY_VERIFY_WITH_TIMEOUT(!m_b->window->radioLink().sessionOpen(), 30000);
    third.write(AgwFrame::unregisterCall("N0CCC").encode());
    third.waitForBytesWritten(1000);
}

void PortalRadioEndToEnd::modemKilledMidTransferKeepsNoFile()
{
    const qint64 killPid = qEnvironmentVariableIntValue("RADIO_E2E_KILL_B");
    if (killPid <= 0)
        QSKIP("no modem program to end");
    const QString name = QStringLiteral("MAIL - cut off.dat");
    const QStringList before = m_b->finalNames();
    m_a->putInOutbox(name, message(4000));
    m_a->click("commandsend");
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Opened receive file: ") + name), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Receiving ")) ||
                                 m_b->text("Txtlogrecv").contains(QStringLiteral("bytes received so far")),
                             30000);
    // The receiving station's modem program dies in the middle of the transfer.
    QCOMPARE(::kill(pid_t(killPid), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_b->text("Txtlogrecv").contains(QStringLiteral("Receive file ") + name +
                                                                 QStringLiteral(" broken off")),
                             10000);
    QCOMPARE(m_b->finalNames(), before);
    QVERIFY(m_b->text("Txtlogrecv").contains(QStringLiteral("closed the AGW connection")));
    QVERIFY(!m_a->text("Txtlogsend").contains(name + QStringLiteral(" delivered")));
}

void PortalRadioEndToEnd::cleanupTestCase()
{
    m_a.reset();
    m_b.reset();
}

QTEST_MAIN(PortalRadioEndToEnd)
#include "tst_portal_radio_e2e.moc"
