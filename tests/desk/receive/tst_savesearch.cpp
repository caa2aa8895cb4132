#include "SearchGate.h"
#include "TestDesk.h"
#include "compose/MessageFile.h"
#include "receive/ReadForm.h"
#include "receive/SaveForm.h"
#include "shell/Modsavemodule.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTreeWidget>

namespace {

MailFields shownBy(ReadForm *reader)
{
    return {child<QLineEdit>(reader, "Text3")->text(), child<QLineEdit>(reader, "Text2")->text(),
            child<QPlainTextEdit>(reader, "Text1")->toPlainText(), child<QLineEdit>(reader, "Text4")->text()};
}

// Waits until the desk's search has read its folders through.
bool readThrough(TestDesk &desk)
{
    return QTest::qWaitFor([&] { return desk.context.messageSearch && desk.context.messageSearch->isReady(); }, 20000);
}

// Two saves of "net" a day apart in the archive: "older" from K1ABC, then
// "newer" from W1AW.
void saveOlderAndNewer(const DeskStation &station, const QString &year)
{
    writeFile(station.save + "/mail_" + year + "-12-01_1200.dat",
              Modsavemodule::archiveRecord({"To: N0CALL", "older", "net", "From: K1ABC"}));
    writeFile(station.save + "/mail_" + year + "-12-02_1200.dat",
              Modsavemodule::archiveRecord({"To: N0CALL", "newer", "net", "From: W1AW"}));
}

} // namespace

class TestSaveSearch : public QObject
{
    Q_OBJECT

private slots:
    void aFoundMessageOpensInTheReader_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("shown"); // To, Subject, Message, From
        QTest::addRow("second save of an archive file")
            << "Lighthouse" << "saved"
            << QStringList{"To: N0CALL", "antenna", "the lighthouse, again", "From: W1AW"};
        QTest::addRow("received mail, decoded")
            << "weather" << "received" << QStringList{"TO: N0CALL", "CAFÉ REPORT", "WEATHER IS FINE", "FROM- G4XYZ"};
    }
    void aFoundMessageOpensInTheReader()
    {
        QFETCH(QString, word);
        QFETCH(QString, where);
        QFETCH(QStringList, shown);
        DeskStation station;
        TestDesk &desk = station.desk;
        writeFile(station.save + "/mail_26-12-01_1200.dat",
                  Modsavemodule::archiveRecord({"To: N0CALL", "net tonight", "see you", "From: K1ABC"})
                      + Modsavemodule::archiveRecord({"To: N0CALL", "antenna", "the lighthouse, again", "From: W1AW"}));
        writeFile(station.receive + "/MAIL - 120000.txt",
                  MessageFile::mailRecordLine("To: N0CALL", "Café report", "weather is fine", "From- G4XYZ"));
        writeFile(desk.workingDir() + "/temp", "To: OLD,handed,over,before\r\n");

        auto *screen = desk.navigator.open<SaveForm>();
        desk.prompter.boxes.clear(); // the reader's load at opening has its say
        QVERIFY(readThrough(desk));
        auto *results = child<QTreeWidget>(screen, "searchresults");
        QCOMPARE(results->topLevelItemCount(), 0);
        child<QLineEdit>(screen, "searchbox")->setText(word);
        QCOMPARE(results->topLevelItemCount(), 1);
        QCOMPARE(results->topLevelItem(0)->text(1), where);
        QCOMPARE(results->topLevelItem(0)->text(3), shown[0]);
        QVERIFY(!results->topLevelItem(0)->text(0).isEmpty()); // the date
        QCOMPARE(child<QLabel>(screen, "searchstatus")->text(), "1 message found.");

        TestDesk::click(screen, "readfound");
        QVERIFY(!desk.navigator.loaded<SaveForm>());
        auto *reader = desk.navigator.loaded<ReadForm>();
        QVERIFY(reader && reader->isVisible());
        const MailFields fields = shownBy(reader);
        QCOMPARE((QStringList{fields.to, fields.subject, fields.message, fields.from}), shown);
        QVERIFY(desk.prompter.boxes.isEmpty());
        // Searching reads; it neither moves nor deletes a message.
        QVERIFY(QFile::exists(station.receive + "/MAIL - 120000.txt"));
        QVERIFY(QFile::exists(station.save + "/mail_26-12-01_1200.dat"));
    }

    void theListFollowsTheBoxAndChanges()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        writeFile(station.save + "/mail_26-12-01_1200.dat",
                  Modsavemodule::archiveRecord({"To: N0CALL", "net", "beacon", "From: K1ABC"}));
        auto *screen = desk.navigator.open<SaveForm>();
        QVERIFY(readThrough(desk));
        auto *box = child<QLineEdit>(screen, "searchbox");
        auto *results = child<QTreeWidget>(screen, "searchresults");
        box->setText("beacon");
        QCOMPARE(results->topLevelItemCount(), 1);
        writeFile(station.receive + "/MAIL - 130000.txt",
                  MessageFile::mailRecordLine("To: N0CALL", "beacon too", "", "From- G4XYZ"));
        // The mail that came is shown as soon as the search in the background sees it.
        box->setText("beaco");
        QTRY_COMPARE_WITH_TIMEOUT(results->topLevelItemCount(), 2, 20000);
        QCOMPARE(results->topLevelItem(1)->text(1), "saved"); // the newer one first
        box->setText("nothing like it");
        QCOMPARE(results->topLevelItemCount(), 0);
        QVERIFY(child<QLabel>(screen, "searchstatus")->text().contains("No message holds"));
        box->clear();
        QVERIFY(child<QLabel>(screen, "searchstatus")->text().isEmpty());
        // The saved-message list itself is untouched by searching.
        QCOMPARE(child<QListWidget>(screen, "File1")->count(), 1);
    }

    void theKeysPickAndOpenFromTheSearchBox()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        saveOlderAndNewer(station, "26");
        auto *screen = desk.navigator.open<SaveForm>();
        QVERIFY(readThrough(desk));
        auto *box = child<QLineEdit>(screen, "searchbox");
        box->setText("net");
        QCOMPARE(child<QLabel>(screen, "searchstatus")->text(), "2 messages found.");
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down); // stays on the last
        QTest::keyClick(box, Qt::Key_Return);
        auto *reader = desk.navigator.loaded<ReadForm>();
        QVERIFY(reader && reader->isVisible());
        QCOMPARE(shownBy(reader).subject, "older");
    }

    void thePickedMessageStaysPickedWhenMailComes()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        saveOlderAndNewer(station, "20");
        auto *screen = desk.navigator.open<SaveForm>();
        QVERIFY(readThrough(desk));
        auto *box = child<QLineEdit>(screen, "searchbox");
        auto *results = child<QTreeWidget>(screen, "searchresults");
        box->setText("net");
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(results->currentItem()->text(4), "older");
        // A newer mail comes in and goes to the top; the pick stays on its message.
        writeFile(station.receive + "/MAIL - 130000.txt",
                  MessageFile::mailRecordLine("To: N0CALL", "newest", "net", "From- G4XYZ"));
        desk.context.messageSearch->refresh();
        QTRY_COMPARE_WITH_TIMEOUT(results->topLevelItemCount(), 3, 20000);
        QCOMPARE(results->topLevelItem(0)->text(4), "NEWEST");
        QCOMPARE(results->currentItem()->text(4), "older");
        // A new text starts again from the newest.
        box->setText("ne");
        QCOMPARE(results->currentItem()->text(4), "NEWEST");
    }

    void theScreenSaysSearchingUntilAllIsRead()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        saveOlderAndNewer(station, "26");
        // The desk's search, held after the first file it reads.
        desk.context.messageSearch = std::make_shared<SearchCache>();
        SearchGate gate(*desk.context.messageSearch);
        auto *screen = desk.navigator.open<SaveForm>();
        QVERIFY(gate.reached.tryAcquire(1, 20000));
        auto *box = child<QLineEdit>(screen, "searchbox");
        auto *results = child<QTreeWidget>(screen, "searchresults");
        auto *status = child<QLabel>(screen, "searchstatus");
        box->setText("net");
        // Answered at once from what is read, and said to be partial.
        QCOMPARE(results->topLevelItemCount(), 1);
        QVERIFY2(status->text().startsWith("Searching..."), qPrintable(status->text()));
        QVERIFY2(status->text().contains("1 message") && status->text().contains("1 file"), qPrintable(status->text()));
        gate.letGo.release();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), "2 messages found.", 20000);
        QCOMPARE(results->topLevelItemCount(), 2);
        QCOMPARE(results->topLevelItem(0)->text(0), "2026-12-02 12:00");
    }

    void theSearchOutlivesTheScreen()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        writeFile(station.save + "/mail_26-12-01_1200.dat",
                  Modsavemodule::archiveRecord({"To: N0CALL", "net", "beacon", "From: K1ABC"}));
        desk.navigator.open<SaveForm>();
        QVERIFY(readThrough(desk));
        const SearchCache *kept = desk.context.messageSearch.get();
        desk.prompter.boxes.clear();
        TestDesk::click(desk.navigator.loaded<SaveForm>(), "exit");
        QVERIFY(!desk.navigator.loaded<SaveForm>());
        // Opened again, the screen finds at once what was read before.
        auto *screen = desk.navigator.open<SaveForm>();
        QCOMPARE(desk.context.messageSearch.get(), kept);
        child<QLineEdit>(screen, "searchbox")->setText("beacon");
        QCOMPARE(child<QTreeWidget>(screen, "searchresults")->topLevelItemCount(), 1);
        QCOMPARE(child<QLabel>(screen, "searchstatus")->text(), "1 message found.");
    }

    void readingWithNothingFoundSaysSo()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        auto *screen = desk.navigator.open<SaveForm>();
        desk.prompter.boxes.clear();
        TestDesk::click(screen, "readfound");
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QCOMPARE(desk.prompter.boxes[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(desk.navigator.loaded<SaveForm>());
    }
};

QTEST_MAIN(TestSaveSearch)
#include "tst_savesearch.moc"
