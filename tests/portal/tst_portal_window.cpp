#include "PortalStation.h"

#include <QFocusEvent>
#include <QListWidget>
#include <QSettings>

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
    QCOMPARE(station.link().sendMode(), 0);
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
    QFile list(station.window->stationListPath());
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
    QFile file(station.window->stationListPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("B-2.2.2.2\r\n"));
    file.close();
    list->setCurrentRow(0);
    station.click("Commanddelete");
    QCOMPARE(list->count(), 0);
    QCOMPARE(QFileInfo(station.window->stationListPath()).size(), 0);
}

void PortalWindowTest::pickStation_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::addRow("callsign and address") << "TEST-10.0.0.5" << "10.0.0.5";
    QTest::addRow("no dash") << "10.0.0.7" << "10.0.0.7";
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

PORTAL_TEST_MAIN(PortalWindowTest)
#include "tst_portal_window.moc"
