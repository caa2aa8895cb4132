// Special files and odd names where the desk expects plain files: a real
// FIFO, a real UNIX socket and a real file whose name is not UTF-8, met
// through the screens the operator uses.
#include "TestDesk.h"
#include "compose/MailPosting.h"
#include "compose/SendFile.h"
#include "receive/InboxForm.h"
#include "receive/ReadForm.h"
#include "receive/Received.h"
#include "shell/EnterForm.h"
#include "shell/MainMenu.h"
#include "shell/Modsavemodule.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The record of "To: AB", "Subject: X", "Your Message: Hi", "From- C".
const QByteArray exampleRecord = "84 79 58 32 65 66,83 85 66 74 69 67 84 58 32 88,"
                                 "89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 67\r\n";

QStringList listed(Received *list)
{
    QStringList names;
    auto *files = child<QListWidget>(list, "File1");
    for (int i = 0; i < files->count(); ++i)
        names << files->item(i)->text();
    return names;
}

bool pick(Received *list, const QString &name)
{
    auto *files = child<QListWidget>(list, "File1");
    const auto found = files->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    files->setCurrentItem(found.first());
    return true;
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool isFifo(const QString &path)
{
    struct stat status{};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

} // namespace

class TestSpecialFiles : public QObject
{
    Q_OBJECT

private slots:
    // Each way in that reads the receive folder's setting: none waits on the
    // FIFO, and where the desk reports, it names the file and what it is.
    void aFifoAsTheReceiveSettingHoldsNothingUp_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("reports");
        QTest::addRow("the received list opens") << "list" << true;
        QTest::addRow("Read Inbox on the main menu") << "menu" << true;
        QTest::addRow("ENTER on the entry form") << "enter" << false;
        QTest::addRow("Read Message") << "read" << true;
        QTest::addRow("the self-test") << "selftest" << true;
    }
    void aFifoAsTheReceiveSettingHoldsNothingUp()
    {
        QFETCH(QString, way);
        QFETCH(bool, reports);
        DeskStation station;
        TestDesk &desk = station.desk;
        writeFile(station.receive + QStringLiteral("/MAIL - 1.dat"), exampleRecord);
        Received *list = nullptr;
        if (way == "read") {
            list = desk.navigator.open<Received>();
            QVERIFY(pick(list, QStringLiteral("MAIL - 1.dat")));
        }
        const QString setting = desk.files.path(Setting::ReceiveDir);
        QVERIFY(QFile::remove(setting));
        QVERIFY(makeFifo(setting));
        desk.prompter.boxes.clear();

        if (way == "list")
            desk.navigator.open<Received>();
        else if (way == "menu")
            TestDesk::click(desk.navigator.open<MainMenu>(), QStringLiteral("RECEIVE"));
        else if (way == "selftest")
            TestDesk::click(desk.navigator.open<MainMenu>(), QStringLiteral("testprogram"));
        else if (way == "enter")
            TestDesk::click(desk.navigator.open<EnterForm>(), QStringLiteral("Command3"));
        else
            TestDesk::click(list, QStringLiteral("Command2"));

        const QString said = desk.prompter.texts().join(QStringLiteral(" | "));
        if (reports) {
            QVERIFY2(said.contains(QStringLiteral("is a FIFO (named pipe), not a regular file")), qPrintable(said));
            QVERIFY2(said.contains(QDir::toNativeSeparators(setting)), qPrintable(said));
        }
        // Nothing was routed on a folder the desk could not read.
        QCOMPARE(readAll(station.receive + QStringLiteral("/MAIL - 1.dat")), exampleRecord);
        QVERIFY(isFifo(setting));
    }

    // What the list shows and what the monitor announces are the same kind
    // of entry: a FIFO or a folder arriving is neither.
    void specialEntriesAreNeitherAnnouncedNorListed()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        QVERIFY(makeFifo(station.receive + QStringLiteral("/MAIL - old pipe.dat")));
        auto *list = desk.navigator.open<Received>();
        QCOMPARE(listed(list), QStringList{});

        QVERIFY(makeFifo(station.receive + QStringLiteral("/MAIL - pipe.dat")));
        QVERIFY(QDir().mkdir(station.receive + QStringLiteral("/MAIL - folder.dat")));
        list->monitor().scan();
        QCOMPARE(desk.speaker.spoken.size(), 0);
        list->refreshList();
        QCOMPARE(listed(list), QStringList{});

        writeFile(station.receive + QStringLiteral("/MAIL - 2.dat"), exampleRecord);
        list->monitor().scan();
        QCOMPARE(desk.speaker.spoken.size(), 1);
        QCOMPARE(listed(list), QStringList{QStringLiteral("MAIL - 2.dat")});
    }

    // A message swapped for a FIFO after it was listed is not opened: the
    // read would never end. It is left where it is, and the box says why.
    void aMessageSwappedForAFifoIsNotRead()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        const QString path = station.receive + QStringLiteral("/MAIL - 1.dat");
        writeFile(path, exampleRecord);
        auto *list = desk.navigator.open<Received>();
        QVERIFY(pick(list, QStringLiteral("MAIL - 1.dat")));
        QVERIFY(QFile::remove(path));
        QVERIFY(makeFifo(path));
        TestDesk::click(list, QStringLiteral("Command2"));
        const QString said = desk.prompter.texts().join(QStringLiteral(" | "));
        QVERIFY2(said.contains(QStringLiteral("is a FIFO (named pipe), not a regular file")), qPrintable(said));
        QVERIFY2(said.contains(QDir::toNativeSeparators(path)), qPrintable(said));
        QVERIFY(isFifo(path));
        QVERIFY(!desk.navigator.loaded<InboxForm>() || !desk.navigator.loaded<InboxForm>()->isVisible());
    }

    // A mail written under a Latin-1 name is announced, listed under the
    // name the operator reads, and opens like any other; its bytes reach
    // the reader unchanged.
    void aLatinOneNamedMailIsListedAndOpens()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        auto *list = desk.navigator.open<Received>();
        const QByteArray raw = QFile::encodeName(station.receive) + "/MAIL - caf\xe9.dat";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, exampleRecord.constData(), size_t(exampleRecord.size())), exampleRecord.size());
        QCOMPARE(::close(fd), 0);

        list->monitor().scan();
        QCOMPARE(desk.speaker.spoken.size(), 1);
        const QString shown = QStringLiteral("MAIL - caf\u00e9.dat");
        QCOMPARE(listed(list), QStringList{shown});
        QVERIFY(pick(list, shown));
        TestDesk::click(list, QStringLiteral("Command2"));
        auto *reader = desk.navigator.loaded<InboxForm>();
        QVERIFY2(reader && reader->isVisible(), qPrintable(desk.prompter.texts().join(QStringLiteral(" | "))));
        QCOMPARE(readAll(desk.files.path(Setting::MailHandOver)), exampleRecord + "\r\n");
        QCOMPARE(QDir(station.receive).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList{});
        list->monitor().scan();
        QCOMPARE(desk.speaker.spoken.size(), 1); // the rename was no arrival
    }

    // Every other file the desk opens that another program or the operator
    // can replace: a FIFO there is refused at once, in words that name it.
    void otherFilesTheDeskOpensAreNotWaitedOn_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addRow("mail hand-over") << "mail.dat";
        QTest::addRow("saved-message hand-over") << "temp";
        QTest::addRow("file picked to attach") << "attachment";
    }
    void otherFilesTheDeskOpensAreNotWaitedOn()
    {
        QFETCH(QString, file);
        DeskStation station;
        TestDesk &desk = station.desk;
        QString path;
        if (file == "mail.dat") {
            path = desk.files.path(Setting::MailHandOver);
            QVERIFY(makeFifo(path));
            QVERIFY(!desk.navigator.load<InboxForm>()->loadMailHandOver());
        } else if (file == "temp") {
            path = desk.files.path(Setting::SavedMessageHandOver);
            QVERIFY(makeFifo(path));
            desk.navigator.load<ReadForm>();
        } else {
            path = desk.makeDir(QStringLiteral("files")) + QStringLiteral("/note.txt");
            QVERIFY(makeFifo(path));
            auto *composer = desk.navigator.open<SendFile>();
            child<QLineEdit>(composer, "Text5")->setText(path);
            TestDesk::click(composer, QStringLiteral("Command1"));
            QCOMPARE(QDir(station.send).entryList(QDir::Files), QStringList{});
        }
        const QString said = desk.prompter.texts().join(QStringLiteral(" | "));
        QVERIFY2(said.contains(QStringLiteral("is a FIFO (named pipe), not a regular file")), qPrintable(said));
        QVERIFY2(said.contains(QDir::toNativeSeparators(path)), qPrintable(said));
        QVERIFY(isFifo(path));
    }

    // The send and save settings say the same, where a mail is posted or saved.
    void aFifoAsTheSendOrSaveSettingIsNamed_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addRow("send.dat") << "send";
        QTest::addRow("save.dat") << "save";
    }
    void aFifoAsTheSendOrSaveSettingIsNamed()
    {
        QFETCH(QString, setting);
        DeskStation station;
        TestDesk &desk = station.desk;
        const SettingFile file = setting == "send" ? Setting::SendDir : Setting::SaveDir;
        const QString path = desk.files.path(file);
        QVERIFY(QFile::remove(path));
        QVERIFY(makeFifo(path));
        const MailFields mail{QStringLiteral("AB"), QStringLiteral("X"), QStringLiteral("Hi"), QStringLiteral("C")};
        const Outcome done = setting == "send" ? MailPosting::postMail(desk.files, desk.clock.now(), mail).outcome()
                                               : Modsavemodule(desk.files, desk.clock).saveReceivedMessage(mail);
        QVERIFY(!done);
        QVERIFY2(done.error().contains(QStringLiteral("is a FIFO (named pipe), not a regular file"))
                     && done.error().contains(QDir::toNativeSeparators(path)),
                 qPrintable(done.error()));
        QCOMPARE(QDir(setting == "send" ? station.send : station.save).entryList(QDir::Files), QStringList{});
    }

    // The receive setting names something that is not a folder: starting
    // the monitor says what is there instead.
    void aReceiveSettingThatIsNoFolderSaysWhatItIs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        QTest::addRow("a regular file") << "file" << "is a file, not a folder";
        QTest::addRow("a FIFO") << "FIFO" << "is a FIFO (named pipe), not a folder";
    }
    void aReceiveSettingThatIsNoFolderSaysWhatItIs()
    {
        QFETCH(QString, kind);
        QFETCH(QString, words);
        DeskStation station;
        TestDesk &desk = station.desk;
        QVERIFY(QDir(station.receive).removeRecursively());
        if (kind == "file")
            writeFile(station.receive, "not a folder");
        else
            QVERIFY(makeFifo(station.receive));
        auto *list = desk.navigator.open<Received>();
        const QString said = desk.prompter.texts().join(QStringLiteral(" | "));
        QVERIFY2(said.contains(words) && said.contains(QDir::toNativeSeparators(station.receive)), qPrintable(said));
        QVERIFY(!said.contains(QStringLiteral("missing")));
        QVERIFY(!list->monitor().IsRunning());
    }
};

QTEST_MAIN(TestSpecialFiles)
#include "tst_specialfiles.moc"
