#include "TestDesk.h"
#include "TestWaits.h"
#include "compose/AddressBook.h"
#include "compose/MailForm.h"
#include "compose/SendFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/SearchCache.h"
#include "shell/Modsavemodule.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSemaphore>
#include <QStringListModel>
#include <QTest>

#include <atomic>
#include <memory>

namespace {

QWidget *openComposer(TestDesk &desk, const QString &screen)
{
    if (screen == u"mailform")
        return desk.navigator.open<MailForm>();
    if (screen == u"sendfile")
        return desk.navigator.open<SendFile>();
    return desk.navigator.open<InboxForm>();
}

QCompleter *completerOf(QLineEdit *box)
{
    return box->parent() ? box->parent()->findChild<QCompleter *>("addresscompleter") : nullptr;
}

// Every callsign the box would offer, before any typing narrows it.
QStringList known(QCompleter *completer)
{
    auto *model = qobject_cast<QStringListModel *>(completer->model());
    return model ? model->stringList() : QStringList{QStringLiteral("<no list>")};
}

QStringList offered(QCompleter *completer)
{
    QStringList rows;
    for (int i = 0; completer->setCurrentRow(i); ++i)
        rows << completer->currentCompletion();
    return rows;
}

// Three stations: one mailed to an hour ago, one whose mail was saved
// yesterday, one only in the portal's station list beside the desk.
void knowStations(DeskStation &station)
{
    TestDesk &desk = station.desk;
    const QDateTime now = QDateTime::currentDateTime();
    QVERIFY(AddressBook::recordSent(desk.files, "TO-N0SENT", now.addSecs(-3600)));
    const QString saved = station.save + "/" + Modsavemodule::archiveFileName(now.addDays(-1));
    writeFile(saved, Modsavemodule::archiveRecord({"TO: N0SENT", "S", "M", "From: N0SAVED"}));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(now.addDays(-1), QFileDevice::FileModificationTime));
    writeFile(desk.files.programDirectory() + "/listitems.txt", "N0LIST - 10.0.0.1\r\n");
}

} // namespace

class TestAddressCompletion : public QObject
{
    Q_OBJECT

private slots:
    void typingOffersButNeverFills_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("label"); // the To box's text when the screen opens
        QTest::addRow("mail composer") << "mailform" << "TO-";
        QTest::addRow("attachment composer") << "sendfile" << "TO:";
        QTest::addRow("reader's reply") << "inboxform" << "TO:";
    }
    void typingOffersButNeverFills()
    {
        QFETCH(QString, screen);
        QFETCH(QString, label);
        DeskStation station;
        knowStations(station);
        QWidget *shown = openComposer(station.desk, screen);
        auto *to = child<QLineEdit>(shown, "Text3");
        QCompleter *completer = completerOf(to);
        QVERIFY(completer);
        // The senders of saved mail come when the search's worker has read it.
        TRY_COMPARE(known(completer), (QStringList{"N0SENT", "N0SAVED", "N0LIST"}));
        // Opening offers nothing and changes nothing, nor does the worker's answer.
        QCOMPARE(to->text(), label);
        QVERIFY(!completer->popup()->isVisible());

        to->setFocus();
        QTest::keyClicks(to, "n0");
        QCOMPARE(to->text(), label + "n0");
        TRY_VERIFY(completer->popup()->isVisible());
        QVERIFY(!completer->popup()->currentIndex().isValid());
        QCOMPARE(offered(completer), (QStringList{"N0SENT", "N0SAVED", "N0LIST"}));

        // A further letter narrows the list; still nothing is filled in.
        QTest::keyClicks(to, "s");
        QCOMPARE(offered(completer), (QStringList{"N0SENT", "N0SAVED"}));
        QCOMPARE(to->text(), label + "n0s");

        // The operator picks the second line.
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(to->text(), label + "N0SAVED");
        QVERIFY(!completer->popup()->isVisible());
    }

    void openingLeavesTheMailToTheSearchWorker_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("label");
        QTest::addRow("mail composer") << "mailform" << "TO-";
        QTest::addRow("attachment composer") << "sendfile" << "TO:";
        QTest::addRow("reader's reply") << "inboxform" << "TO:";
    }
    void openingLeavesTheMailToTheSearchWorker()
    {
        QFETCH(QString, screen);
        QFETCH(QString, label);
        DeskStation station;
        knowStations(station);
        // The worker is held as soon as it has read a file, and shows
        // nothing of what it read until it is through.
        auto search = std::make_shared<SearchCache>();
        search->setPublishInterval(60 * 60 * 1000);
        QSemaphore held;
        std::atomic_bool reading = false;
        search->setAfterEachFile([&] {
            reading = true;
            held.acquire();
        });
        // Let go before the desk stops the worker, whatever fails.
        const std::shared_ptr<void> letGo(nullptr, [&](void *) { held.release(1000); });
        station.desk.context.messageSearch = search;

        QWidget *shown = openComposer(station.desk, screen);
        auto *to = child<QLineEdit>(shown, "Text3");
        QCompleter *completer = completerOf(to);
        QVERIFY(completer);
        TRY_VERIFY(reading);
        // What needs no mail is offered at once; the saved sender is not,
        // since only the worker reads the mail.
        QCOMPARE(known(completer), (QStringList{"N0SENT", "N0LIST"}));
        to->setFocus();
        QTest::keyClicks(to, "n0");
        TRY_VERIFY(completer->popup()->isVisible());
        QCOMPARE(offered(completer), (QStringList{"N0SENT", "N0LIST"}));

        // The worker's answer joins the list being shown; nothing is chosen or filled.
        held.release();
        TRY_COMPARE(offered(completer), (QStringList{"N0SENT", "N0SAVED", "N0LIST"}));
        QVERIFY(completer->popup()->isVisible());
        QVERIFY(!completer->popup()->currentIndex().isValid());
        QCOMPARE(to->text(), label + "n0");
    }

    void aDeletedMessageTakesItsSenderAlong()
    {
        DeskStation station;
        knowStations(station);
        TestDesk &desk = station.desk;
        QCompleter *completer = completerOf(child<QLineEdit>(desk.navigator.open<MailForm>(), "Text3"));
        TRY_VERIFY(known(completer).contains("N0SAVED"));
        desk.navigator.unload<MailForm>();
        TestDesk::settle();

        const QStringList archive = QDir(station.save).entryList(QDir::Files);
        QCOMPARE(archive.size(), 1);
        QVERIFY(QFile::remove(station.save + "/" + archive.first()));
        // The next composer asks the worker to look again.
        completer = completerOf(child<QLineEdit>(desk.navigator.open<MailForm>(), "Text3"));
        TRY_COMPARE(known(completer), (QStringList{"N0SENT", "N0LIST"}));
    }

    void aWordAfterAnotherAddresseeIsCompletedAlone()
    {
        DeskStation station;
        knowStations(station);
        auto *to = child<QLineEdit>(station.desk.navigator.open<MailForm>(), "Text3");
        to->setText("TO: K1ABC, ");
        to->setFocus();
        QTest::keyClicks(to, "N0L");
        QCompleter *completer = completerOf(to);
        TRY_VERIFY(completer->popup()->isVisible());
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(to->text(), "TO: K1ABC, N0LIST");
    }

    void noMatchOffersNothing()
    {
        DeskStation station;
        knowStations(station);
        auto *to = child<QLineEdit>(station.desk.navigator.open<MailForm>(), "Text3");
        to->setFocus();
        QTest::keyClicks(to, "G4");
        QTest::qWait(50);
        QVERIFY(!completerOf(to)->popup()->isVisible());
        QCOMPARE(to->text(), "TO-G4");
    }

    void postingRemembersTheAddressee()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        auto *composer = desk.navigator.open<MailForm>();
        child<QLineEdit>(composer, "Text3")->setText("TO-W1AW");
        TestDesk::click(composer, "Command1");
        QVERIFY(desk.prompter.boxes.isEmpty());
        QVERIFY(!desk.navigator.loaded<MailForm>());
        // The next composer offers it, first.
        auto *next = desk.navigator.open<MailForm>();
        auto *to = child<QLineEdit>(next, "Text3");
        to->setFocus();
        QTest::keyClicks(to, "w");
        QCOMPARE(offered(completerOf(to)).value(0), "W1AW");
    }

    void aFailedPostRemembersNothing()
    {
        TestDesk desk; // no send folder set
        auto *composer = desk.navigator.open<MailForm>();
        child<QLineEdit>(composer, "Text3")->setText("TO-W1AW");
        TestDesk::click(composer, "Command1");
        QVERIFY(!desk.prompter.boxes.isEmpty());
        QVERIFY(!QFile::exists(desk.files.path(AddressBook::sentFile)));
    }
};

QTEST_MAIN(TestAddressCompletion)
#include "tst_addresscompletion.moc"
