#include "compose/AttachmentStream.h"
#include "compose/MessageFile.h"
#include "receive/MessageSearch.h"
#include "receive/SearchCache.h"
#include "SearchGate.h"
#include "shell/Modsavemodule.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(MailFields)

namespace {

void write(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY2(file.open(mode), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

void age(const QString &path, const QDateTime &when)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QByteArray attachmentMessage(const AttachmentHeader &header, const QByteArray &data)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    QBuffer source;
    source.setData(data);
    if (!out.open(QIODevice::WriteOnly) || !source.open(QIODevice::ReadOnly)
        || !AttachmentStream::writeEntry(header, source, out))
        return {};
    return bytes;
}

QStringList subjects(const QList<MessageSearch::Message> &found)
{
    QStringList all;
    for (const MessageSearch::Message &message : found)
        all << message.fields.subject;
    return all;
}

// A saved folder and a receive folder, each with messages of known ages.
struct Archive {
    Archive()
    {
        QDir(root.path()).mkdir("save");
        QDir(root.path()).mkdir("receive");
        const QDateTime now = QDateTime::currentDateTime();
        const QString first = saved + "/" + Modsavemodule::archiveFileName(now.addDays(-10));
        // Two saves in one file, the second with a comma and a line break in its message.
        write(first, Modsavemodule::archiveRecord({"To: N0CALL", "net tonight", "see you on the net", "From: K1ABC"})
                         + Modsavemodule::archiveRecord({"To: N0CALL", "antenna", "the lighthouse, again\r\nand more",
                                                         "From: W1AW"}));
        age(first, now.addDays(-10));
        // Received mail travels upper-cased as code lists; é is a code page character.
        write(received + "/MAIL - 120000.txt",
              MessageFile::mailRecordLine("To: N0CALL", "Café report", "weather is fine", "From- G4XYZ"));
        age(received + "/MAIL - 120000.txt", now.addDays(-2));
        write(received + "/File - 12-00-00--12-01-26.txt",
              attachmentMessage({"map of the grid", "grid map", "TO: N0CALL", "FROM: PA3ABC", "map.png"},
                                QByteArray(5000, 'x')));
        age(received + "/File - 12-00-00--12-01-26.txt", now.addDays(-1));
        write(received + "/notes.txt", "not a message at all, lighthouse\r\n");
        search.setFolders(saved, received);
    }

    QTemporaryDir root;
    QString saved = root.path() + "/save";
    QString received = root.path() + "/receive";
    MessageSearch search;
};

// Waits until the cache has read its folders through.
bool readThrough(const SearchCache &cache)
{
    return QTest::qWaitFor([&] { return cache.isReady(); }, 20000);
}

} // namespace

class TestMessageSearch : public QObject
{
    Q_OBJECT

private slots:
    void archiveMessages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<MailFields>>("messages");
        QTest::addRow("one quoted save")
            << QString::fromUtf8(Modsavemodule::archiveRecord({"To: A1A", "S", "x, y\r\nz", "From: B1B"}))
            << QList<MailFields>{{"To: A1A", "S", "x, y\r\nz", "From: B1B"}};
        QTest::addRow("two saves with a blank line between")
            << "To: A,S1,M1,From: B\r\n\r\nTo: C,S2,M2,From: D\r\n"
            << QList<MailFields>{{"To: A", "S1", "M1", "From: B"}, {"To: C", "S2", "M2", "From: D"}};
        QTest::addRow("unquoted line break in the message")
            << "To: A,S,first line\r\nsecond line,From: B\r\nTo: C,S2,M2,From: D\r\n"
            << QList<MailFields>{{"To: A", "S", "first line\r\nsecond line", "From: B"},
                                 {"To: C", "S2", "M2", "From: D"}};
        QTest::addRow("unquoted commas in the message")
            << "To: A,S,one, two, three,From: B\r\n"
            << QList<MailFields>{{"To: A", "S", "one, two, three", "From: B"}};
        QTest::addRow("cut short at the end") << "To: A,S" << QList<MailFields>{{"To: A", "S", "", ""}};
        QTest::addRow("empty") << "" << QList<MailFields>{};
    }
    void archiveMessages()
    {
        QFETCH(QString, text);
        QFETCH(QList<MailFields>, messages);
        const QList<MailFields> found = MessageSearch::archiveMessages(text);
        QCOMPARE(found.size(), messages.size());
        for (qsizetype i = 0; i < found.size(); ++i) {
            QCOMPARE(found[i].to, messages[i].to);
            QCOMPARE(found[i].subject, messages[i].subject);
            QCOMPARE(found[i].message, messages[i].message);
            QCOMPARE(found[i].from, messages[i].from);
        }
    }

    void receivedMailTakesEachPost()
    {
        const QString text = QString::fromLatin1(MessageFile::mailRecordLine("TO: A", "ONE", "M", "F")
                                                 + MessageFile::mailRecordLine("TO: B", "TWO", "M", "F"));
        const QList<MailFields> found = MessageSearch::receivedMail(text);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0].subject, "ONE");
        QCOMPARE(found[1].to, "TO: B");
    }

    void archiveNameDate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("date");
        QTest::addRow("written here") << "mail_26-12-07_1405.dat" << QDateTime(QDate(2026, 12, 7), QTime(14, 5));
        QTest::addRow("another separator") << "mail_26.12.07_0930.dat" << QDateTime(QDate(2026, 12, 7), QTime(9, 30));
        QTest::addRow("no such day") << "mail_26-02-30_1405.dat" << QDateTime();
        QTest::addRow("another file") << "notes.dat" << QDateTime();
    }
    void archiveNameDate()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, date);
        QCOMPARE(MessageSearch::archiveNameDate(name), date);
    }

    void findsAnyFieldIgnoringCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found"); // subjects, newest first
        QTest::addRow("in a saved message, second of its file") << "LIGHTHOUSE" << QStringList{"antenna"};
        QTest::addRow("in a saved subject") << "Net Tonight" << QStringList{"net tonight"};
        QTest::addRow("in a sender") << "w1aw" << QStringList{"antenna"};
        QTest::addRow("across a line break") << "again\r\nand" << QStringList{"antenna"};
        QTest::addRow("in received mail, decoded") << "café" << QStringList{"CAFÉ REPORT"};
        QTest::addRow("in an attachment message") << "map of the" << QStringList{"grid map"};
        QTest::addRow("in every one's To") << "n0call"
                                             << QStringList{"grid map", "CAFÉ REPORT", "net tonight", "antenna"};
        QTest::addRow("nowhere") << "packet" << QStringList{};
        QTest::addRow("the attached data is not searched") << "xxxx" << QStringList{};
        QTest::addRow("empty") << "" << QStringList{};
    }
    void findsAnyFieldIgnoringCase()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        Archive archive;
        QCOMPARE(subjects(archive.search.find(text)), found);
        QVERIFY(archive.search.problems().isEmpty());
    }

    void aFoundMessageSaysWhereAndWhen()
    {
        Archive archive;
        const QList<MessageSearch::Message> found = archive.search.find("lighthouse");
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].place, MessageSearch::Place::Saved);
        QCOMPARE(found[0].index, 1);
        QCOMPARE(found[0].date, MessageSearch::archiveNameDate(QFileInfo(found[0].path).fileName()));
        const QList<MessageSearch::Message> mail = archive.search.find("weather");
        QCOMPARE(mail.size(), 1);
        QCOMPARE(mail[0].place, MessageSearch::Place::Received);
        QCOMPARE(mail[0].fields.from, "FROM- G4XYZ");
        QCOMPARE(mail[0].date, QFileInfo(mail[0].path).lastModified());
    }

    void followsTheFoldersBetweenSearches()
    {
        Archive archive;
        MessageSearch &search = archive.search;
        QCOMPARE(search.find("beacon").size(), 0);

        // A mail arrives.
        write(archive.received + "/MAIL - 130000.txt", MessageFile::mailRecordLine("TO: N0CALL", "beacon", "", "K1"));
        QCOMPARE(subjects(search.find("beacon")), QStringList{"BEACON"});

        // The file of the present minute grows by a second save.
        const QString now = archive.saved + "/" + Modsavemodule::archiveFileName(QDateTime::currentDateTime());
        write(now, Modsavemodule::archiveRecord({"To: N0CALL", "first", "", "From: K1"}));
        QCOMPARE(search.find("beacon").size(), 1);
        write(now, Modsavemodule::archiveRecord({"To: N0CALL", "beacon again", "", "From: K1"}), QIODevice::Append);
        QCOMPARE(search.find("beacon").size(), 2);

        // A message is deleted.
        QVERIFY(QFile::remove(archive.received + "/MAIL - 130000.txt"));
        QCOMPARE(subjects(search.find("beacon")), QStringList{"beacon again"});
    }

    void anOldFileEditedByHandIsSeenAtTheFullLook()
    {
        Archive archive;
        MessageSearch &search = archive.search;
        search.setFullCheckInterval(0);
        QCOMPARE(search.find("net tonight").size(), 1);
        const QString old = archive.saved + "/" + QDir(archive.saved).entryList(QDir::Files).first();
        // Same size, other words, and the old time put back.
        const QDateTime time = QFileInfo(old).lastModified();
        QByteArray bytes = [&] {
            QFile file(old);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        bytes.replace("net tonight", "net at noon");
        write(old, bytes);
        age(old, time);
        QCOMPARE(search.find("net tonight").size(), 0);
        QCOMPARE(search.find("net at noon").size(), 1);
    }

    void problemsAreSaidInWords()
    {
        Archive archive;
        // A file too large to be a message.
        QFile huge(archive.saved + "/mail_26-12-01_1200.dat");
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(MessageSearch::fileLimit + 1));
        huge.close();
        archive.search.setFolders(archive.saved, archive.root.path() + "/gone");
        QCOMPARE(archive.search.find("antenna").size(), 1);
        const QString problems = archive.search.problems().join(u'\n');
        QVERIFY2(problems.contains(QDir::toNativeSeparators(huge.fileName())) && problems.contains("not searched"),
                 qPrintable(problems));
        QVERIFY2(problems.contains(QDir::toNativeSeparators(archive.root.path() + "/gone")), qPrintable(problems));
    }

    void theCacheFollowsChangesBetweenSearches_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addRow("a mail arrives") << "arrives" << "beacon" << QStringList{} << QStringList{"BEACON"};
        QTest::addRow("a saved file is deleted") << "deleted" << "net tonight" << QStringList{"net tonight"}
                                                 << QStringList{};
        QTest::addRow("the file of the present minute grows")
            << "grows" << "beacon" << QStringList{} << QStringList{"beacon again"};
        QTest::addRow("an old file edited by hand, its time put back")
            << "edited" << "net at noon" << QStringList{} << QStringList{"net at noon"};
    }
    void theCacheFollowsChangesBetweenSearches()
    {
        QFETCH(QString, change);
        QFETCH(QString, word);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        Archive archive;
        const QString present = archive.saved + "/" + Modsavemodule::archiveFileName(QDateTime::currentDateTime());
        if (change == "grows")
            write(present, Modsavemodule::archiveRecord({"To: N0CALL", "first", "", "From: K1"}));
        SearchCache cache;
        // Only a hand edit that keeps size and time needs the look at every file.
        cache.setFullCheckInterval(change == "edited" ? 0 : MessageSearch::defaultFullCheckInterval);
        cache.setFolders(archive.saved, archive.received);
        QVERIFY(readThrough(cache));
        QCOMPARE(subjects(cache.find(word)), before);

        const QString old = archive.saved + "/" + QDir(archive.saved).entryList(QDir::Files, QDir::Name).first();
        if (change == "arrives") {
            write(archive.received + "/MAIL - 130000.txt", MessageFile::mailRecordLine("TO: N0CALL", "beacon", "", "K1"));
        } else if (change == "deleted") {
            QVERIFY(QFile::remove(old));
        } else if (change == "grows") {
            write(present, Modsavemodule::archiveRecord({"To: N0CALL", "beacon again", "", "From: K1"}),
                  QIODevice::Append);
        } else {
            const QDateTime time = QFileInfo(old).lastModified();
            QFile file(old);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray bytes = file.readAll();
            file.close();
            bytes.replace("net tonight", "net at noon");
            write(old, bytes);
            age(old, time);
        }
        int updates = 0;
        QObject::connect(&cache, &SearchCache::updated, &cache, [&] { ++updates; });
        cache.refresh();
        QTRY_COMPARE_WITH_TIMEOUT(subjects(cache.find(word)), after, 20000);
        // The screen learns of it without searching again.
        QTRY_VERIFY_WITH_TIMEOUT(updates > 0, 20000);
        QVERIFY(cache.isReady());
        // Nothing else came or went.
        QCOMPARE(cache.find("n0call").size(), 4 + (change == "deleted" ? -2 : change == "arrives" ? 1 : change == "grows" ? 2 : 0));
    }

    void aSearchWhileReadingAnswersFromWhatIsRead()
    {
        Archive archive;
        SearchCache cache;
        SearchGate gate(cache);
        int updates = 0;
        QObject::connect(&cache, &SearchCache::updated, &cache, [&] { ++updates; });
        cache.setFolders(archive.saved, archive.received);
        // The archive is read first; it holds one file of two saves.
        QVERIFY(gate.reached.tryAcquire(1, 20000));
        QVERIFY(!cache.isReady());
        QCOMPARE(cache.filesRead(), 1);
        QCOMPARE(subjects(cache.find("n0call")), (QStringList{"net tonight", "antenna"}));
        QCOMPARE(subjects(cache.find("weather")), QStringList{});
        gate.letGo.release();
        QVERIFY(readThrough(cache));
        QCOMPARE(subjects(cache.find("n0call")), (QStringList{"grid map", "CAFÉ REPORT", "net tonight", "antenna"}));
        QCOMPARE(subjects(cache.find("weather")), QStringList{"CAFÉ REPORT"});
        QTRY_VERIFY(updates >= 2); // the part read, then the whole
        QVERIFY(cache.problems().isEmpty());
    }

    void otherFoldersReplaceWhatWasRead_data()
    {
        QTest::addColumn<bool>("halfway"); // the first folders are still being read
        QTest::addRow("after reading") << false;
        QTest::addRow("halfway through reading") << true;
    }
    void otherFoldersReplaceWhatWasRead()
    {
        QFETCH(bool, halfway);
        Archive first;
        QTemporaryDir other;
        write(other.filePath("mail_26-12-01_1200.dat"),
              Modsavemodule::archiveRecord({"To: N0CALL", "elsewhere", "", "From: K1"}));
        SearchCache cache;
        std::unique_ptr<SearchGate> gate;
        if (halfway) {
            gate = std::make_unique<SearchGate>(cache);
            cache.setFolders(first.saved, first.received);
            QVERIFY(gate->reached.tryAcquire(1, 20000));
        } else {
            cache.setFolders(first.saved, first.received);
            QVERIFY(readThrough(cache));
        }
        cache.setFolders(other.path(), QString());
        // Nothing of the first folders is answered from now on. Unless the
        // reading is held, the other folder may already be read by now.
        const QStringList found = subjects(cache.find("n0call"));
        QVERIFY2(found.isEmpty() || found == QStringList{"elsewhere"}, qPrintable(found.join(", ")));
        if (halfway)
            QVERIFY(!cache.isReady());
        if (gate)
            gate->letGo.release();
        QVERIFY(readThrough(cache));
        QCOMPARE(subjects(cache.find("n0call")), QStringList{"elsewhere"});
        QCOMPARE(cache.filesRead(), 1);
        // The same folders again change nothing.
        cache.setFolders(other.path(), QString());
        QVERIFY(cache.isReady());
    }

    // The senders the To boxes offer are worked out with each publishing.
    void sendersFollowTheFolders()
    {
        Archive archive;
        SearchCache cache;
        cache.setFolders(archive.saved, archive.received);
        QVERIFY(readThrough(cache));
        QHash<QString, QDateTime> senders = cache.senders();
        QStringList callsigns = senders.keys();
        callsigns.sort();
        QCOMPARE(callsigns, (QStringList{"G4XYZ", "K1ABC", "PA3ABC", "W1AW"}));
        QVERIFY(senders["G4XYZ"] > senders["K1ABC"]);

        QVERIFY(QFile::remove(archive.received + "/MAIL - 120000.txt"));
        cache.refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!cache.senders().contains("G4XYZ"), 20000);
        QCOMPARE(cache.senders().size(), 3);

        QTemporaryDir other;
        write(other.filePath("mail_26-12-01_1200.dat"),
              Modsavemodule::archiveRecord({"To: N0CALL", "elsewhere", "", "From: K1OTH"}));
        cache.setFolders(other.path(), QString());
        // None of the first folders' senders is offered from now on; the
        // other folder's may already be read by now.
        const QStringList offered = cache.senders().keys();
        QVERIFY2(offered.isEmpty() || offered == QStringList{"K1OTH"}, qPrintable(offered.join(", ")));
        QVERIFY(readThrough(cache));
        QCOMPARE(cache.senders().keys(), QStringList{"K1OTH"});
    }

    void onlyTheFilesOfTheFolderAreRead_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("found");
        QTest::addRow("not inside a folder within it") << "inner" << 0;
        QTest::addRow("not a hidden file") << "hidden" << 0;
        QTest::addRow("a link to a file is read") << "linked" << 1;
        QTest::addRow("a link to nothing is passed over") << "dangling" << 0;
    }
    void onlyTheFilesOfTheFolderAreRead()
    {
        QFETCH(QString, word);
        QFETCH(int, found);
        Archive archive;
        const auto record = [](const char *subject) {
            return Modsavemodule::archiveRecord({"To: N0CALL", subject, "", "From: K1"});
        };
        QVERIFY(QDir(archive.saved).mkdir("mail_26-12-01_1200.dat"));
        write(archive.saved + "/mail_26-12-01_1200.dat/mail_26-12-01_1201.dat", record("inner"));
        write(archive.saved + "/.mail_26-12-01_1202.dat", record("hidden"));
        write(archive.root.path() + "/elsewhere.dat", record("linked"));
        QVERIFY(QFile::link(archive.root.path() + "/elsewhere.dat", archive.saved + "/mail_26-12-01_1203.dat"));
        QVERIFY(QFile::link(archive.root.path() + "/dangling.dat", archive.saved + "/mail_26-12-01_1204.dat"));
        QCOMPARE(archive.search.find(word).size(), found);
        QCOMPARE(archive.search.find("n0call").size(), 5); // the four messages and the linked one
    }

    void oneFolderSetAsBothIsSearchedOnce()
    {
        Archive archive;
        archive.search.setFolders(archive.saved, archive.saved + "/");
        QCOMPARE(archive.search.find("lighthouse").size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMessageSearch)
#include "tst_messagesearch.moc"
