#include "TestDesk.h"
#include "compose/AddressBook.h"
#include "compose/MessageFile.h"
#include "receive/ReceivedAttachment.h"
#include "shell/Modsavemodule.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// Gives a file the time it was written at, as an archive that grew over years has.
void age(const QString &path, const QDateTime &when)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

private slots:
    void callsignsIn_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("callsigns");
        QTest::addRow("composer's label typed over") << "TO-N0CALL" << QStringList{"N0CALL"};
        QTest::addRow("reset label, lower case") << "To: k1abc" << QStringList{"K1ABC"};
        QTest::addRow("two addressees and an SSID") << "TO: N0CALL, K1ABC-5" << QStringList{"N0CALL", "K1ABC-5"};
        QTest::addRow("sender's label") << "FROM- W1AW" << QStringList{"W1AW"};
        QTest::addRow("label alone") << "To: " << QStringList{};
        QTest::addRow("names hold no digit") << "TO: JOHN SMITH" << QStringList{};
        QTest::addRow("numbers hold no letter") << "FROM: 12345" << QStringList{};
        QTest::addRow("a callsign that begins with TO") << "TO1ABC" << QStringList{"TO1ABC"};
        QTest::addRow("each once") << "N0CALL n0call" << QStringList{"N0CALL"};
        QTest::addRow("longer than any callsign") << "TO: N0" + QString(30, u'X') << QStringList{};
        QTest::addRow("line breaks between") << "From: G4XYZ\r\nPA3ABC" << QStringList{"G4XYZ", "PA3ABC"};
    }
    void callsignsIn()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, callsigns);
        QCOMPARE(AddressBook::callsignsIn(field), callsigns);
    }

    void typedWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("word");
        QTest::addRow("behind the composer's label") << "TO-N0" << 3 << "N0";
        QTest::addRow("behind the reset label") << "To: K1" << 4 << "K1";
        QTest::addRow("behind the reader's label") << "TO:W" << 3 << "W";
        QTest::addRow("label alone") << "TO-" << 3 << "";
        QTest::addRow("after a blank") << "To: " << 4 << "";
        QTest::addRow("second addressee") << "To: N0CALL, K" << 12 << "K";
        QTest::addRow("label erased") << "G4" << 0 << "G4";
        QTest::addRow("empty box") << "" << 0 << "";
    }
    void typedWord()
    {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(QString, word);
        const AddressBook::TypedWord typed = AddressBook::typedWord(text);
        QCOMPARE(typed.word, word);
        QCOMPARE(int(typed.start), start);
    }

    void stationListCallsigns_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("callsigns");
        QTest::addRow("callsign and address") << QByteArray("N0CALL - 10.0.0.5\r\n") << QStringList{"N0CALL"};
        QTest::addRow("an SSID before the address")
            << QByteArray("N0CALL-10 - 44.1.2.3\r\nK1ABC-10.0.0.7\r\n") << QStringList{"N0CALL-10", "K1ABC"};
        QTest::addRow("IPv6 address") << QByteArray("w1aw - fe80::1\r\n") << QStringList{"W1AW"};
        QTest::addRow("address alone, blank lines")
            << QByteArray("10.0.0.9\r\n\r\n  \r\nG4XYZ - 10.0.0.1") << QStringList{"G4XYZ"};
        QTest::addRow("a line too long for an entry")
            << QByteArray(5000, 'A') + "1 - 10.0.0.1\r\nPA3ABC - 10.0.0.2\r\n" << QStringList{"PA3ABC"};
        QTest::addRow("a name of several words") << QByteArray("club station - 10.0.0.3\r\n") << QStringList{};
        QTest::addRow("each once") << QByteArray("N0CALL - 10.0.0.5\r\nn0call - 10.0.0.6\r\n")
                                   << QStringList{"N0CALL"};
    }
    void stationListCallsigns()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, callsigns);
        QBuffer buffer(&file);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(AddressBook::stationListCallsigns(buffer), callsigns);
    }

    void rankingPutsTheLatestUseFirst()
    {
        const QDateTime day(QDate(2026, 12, 1), QTime(12, 0));
        AddressBook book;
        book.noteUndated("ZZ9ZZ");
        book.note("K1OLD", day);
        book.note("W2NEW", day.addDays(2));
        book.note("K1OLD", day.addDays(3)); // used again, later
        book.note("W2NEW", day.addDays(1)); // an older use does not move it back
        book.noteUndated("K1OLD");          // also in the station list
        book.noteUndated("AA1AA");
        QCOMPARE(book.ranked(), (QStringList{"K1OLD", "W2NEW", "ZZ9ZZ", "AA1AA"}));
    }

    void gatherRanksEverySource()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        const QDateTime now = QDateTime::currentDateTime();

        // A mail received three days ago and one saved yesterday.
        const QString received = station.receive + "/MAIL - 1.txt";
        writeFile(received, MessageFile::mailRecordLine("TO: N0CALL", "S", "M", "FROM- K1OLD"));
        age(received, now.addDays(-3));
        const QString saved = station.save + "/" + Modsavemodule::archiveFileName(now.addDays(-1));
        writeFile(saved, Modsavemodule::archiveRecord({"TO: N0CALL", "S", "M", "From: w2new"}));
        age(saved, now.addDays(-1));
        // A mail written here an hour ago.
        QVERIFY(AddressBook::recordSent(desk.files, "TO-N0SENT", now.addSecs(-3600)));
        // The station list: one station also seen in mail, one only there.
        const QString list = desk.makeDir("portal") + "/listitems.txt";
        writeFile(list, "ZZ9ZZ - 10.0.0.1\r\nK1OLD - 10.0.0.2\r\n");

        const QStringList ranked =
            AddressBook::gather(desk.files, {desk.programDir() + "/nowhere/listitems.txt", list}).ranked();
        QCOMPARE(ranked, (QStringList{"N0SENT", "W2NEW", "K1OLD", "ZZ9ZZ"}));

        // A deleted message takes its sender along.
        QVERIFY(QFile::remove(saved));
        QVERIFY(!AddressBook::gather(desk.files, {list}).ranked().contains("W2NEW"));
    }

    void noteSendersTakesEachStationAtItsNewestMail_data()
    {
        QTest::addColumn<QStringList>("froms"); // one message a day, oldest first
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("one station, many mails") << QStringList{"From: K1OLD", "From: K1OLD", "From: K1OLD"}
                                                 << QStringList{"K1OLD"};
        QTest::addRow("the latest mail ranks first") << QStringList{"From: K1OLD", "From: W2NEW"}
                                                     << QStringList{"W2NEW", "K1OLD"};
        QTest::addRow("an older mail of the same text does not move it back")
            << QStringList{"From: W2NEW", "From: K1OLD", "FROM- K1OLD", "From: W2NEW"}
            << QStringList{"W2NEW", "K1OLD"};
        QTest::addRow("several callsigns in one From box") << QStringList{"From: K1OLD", "FROM- w2new, g4xyz"}
                                                           << QStringList{"G4XYZ", "W2NEW", "K1OLD"};
        QTest::addRow("a From box without a callsign") << QStringList{"From: nobody", ""} << QStringList{};
    }
    void noteSendersTakesEachStationAtItsNewestMail()
    {
        QFETCH(QStringList, froms);
        QFETCH(QStringList, expected);
        const QDateTime day(QDate(2026, 12, 1), QTime(12, 0));
        QList<MessageSearch::Message> messages;
        for (qsizetype i = 0; i < froms.size(); ++i) {
            MessageSearch::Message message;
            message.date = day.addDays(i);
            message.fields.from = froms[i];
            // The search hands them over in no particular order.
            messages.insert(i % 2 ? 0 : messages.size(), message);
        }
        AddressBook book;
        book.noteSenders(messages);
        QCOMPARE(book.ranked(), expected);
    }

    void sendersKeepOnlyThePresentFromTexts()
    {
        const QDateTime day(QDate(2026, 12, 1), QTime(12, 0));
        QList<MessageSearch::Message> messages;
        for (const QString &from : QStringList{"From: K1OLD", "From: W2NEW", "From: K1OLD", "FROM- g4xyz"}) {
            MessageSearch::Message message;
            message.date = day.addDays(messages.size());
            message.fields.from = from;
            messages << message;
        }
        QHash<QString, QStringList> parsed;
        QHash<QString, QDateTime> senders = AddressBook::senders(messages, parsed);
        QCOMPARE(senders.size(), 3);
        QCOMPARE(senders["K1OLD"], day.addDays(2));
        QCOMPARE(parsed.size(), 3);
        // Mail deleted: its From texts are not kept on.
        messages.remove(0, 3);
        senders = AddressBook::senders(messages, parsed);
        QCOMPARE(senders.keys(), QStringList{"G4XYZ"});
        QCOMPARE(parsed.keys(), QStringList{"FROM- g4xyz"});
    }

    void gatherListsReadsNoMail()
    {
        DeskStation station;
        TestDesk &desk = station.desk;
        const QDateTime now = QDateTime::currentDateTime();
        writeFile(station.save + "/" + Modsavemodule::archiveFileName(now),
                  Modsavemodule::archiveRecord({"TO: N0CALL", "S", "M", "From: W2NEW"}));
        QVERIFY(AddressBook::recordSent(desk.files, "TO-N0SENT", now.addSecs(-3600)));
        const QString list = desk.makeDir("portal") + "/listitems.txt";
        writeFile(list, "ZZ9ZZ - 10.0.0.1\r\n");
        QCOMPARE(AddressBook::gatherLists(desk.files, {list}).ranked(), (QStringList{"N0SENT", "ZZ9ZZ"}));
        QCOMPARE(AddressBook::gather(desk.files, {list}).ranked(), (QStringList{"W2NEW", "N0SENT", "ZZ9ZZ"}));
    }

    void gatherWithoutFoldersOrFiles()
    {
        TestDesk desk; // no folders set, no file of ours
        QVERIFY(AddressBook::gather(desk.files, {}).ranked().isEmpty());
    }

    void recordSentKeepsTheLatestUseAndABoundedList()
    {
        TestDesk desk;
        const QDateTime day(QDate(2026, 12, 1), QTime(12, 0), Qt::UTC);
        QVERIFY(AddressBook::recordSent(desk.files, "To: K1ABC", day.addDays(2)));
        QVERIFY(AddressBook::recordSent(desk.files, "To: W1AW, K1ABC", day.addDays(3)));
        QVERIFY(AddressBook::recordSent(desk.files, "To: G4XYZ", day.addDays(1)));
        QVERIFY(AddressBook::recordSent(desk.files, "To: nobody", day.addDays(4))); // nothing to keep
        QCOMPARE(AddressBook::gather(desk.files, {}).ranked(), (QStringList{"K1ABC", "W1AW", "G4XYZ"}));

        for (int i = 0; i < AddressBook::sentLimit + 5; ++i)
            QVERIFY(AddressBook::recordSent(desk.files, QStringLiteral("TO-N%1AA").arg(i), day.addDays(10 + i)));
        const QStringList ranked = AddressBook::gather(desk.files, {}).ranked();
        QCOMPARE(ranked.size(), AddressBook::sentLimit);
        QCOMPARE(ranked.first(), QStringLiteral("N%1AA").arg(AddressBook::sentLimit + 4));
        QVERIFY(!ranked.contains("K1ABC"));
        QVERIFY(!ranked.contains("N4AA"));
        QVERIFY(ranked.contains("N5AA"));
    }

    void ourFileWithDamagedLinesKeepsTheGoodOnes()
    {
        TestDesk desk;
        writeFile(desk.files.path(AddressBook::sentFile),
                  "K1ABC,2026-12-01T12:00:00Z\r\nno time here\r\nW1AW,not a time\r\n,2026-12-02T12:00:00Z\r\n"
                  "G4XYZ,2026-12-03T12:00:00Z\r\n");
        QCOMPARE(AddressBook::gather(desk.files, {}).ranked(), (QStringList{"G4XYZ", "K1ABC"}));
    }

    void aReceivedFileNeverTakesOurFilesName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("as written") << "addressbook.dat";
        QTest::addRow("other letter case") << "AddressBook.DAT";
    }
    void aReceivedFileNeverTakesOurFilesName()
    {
        QFETCH(QString, name);
        TestDesk desk;
        ReceivedAttachment attachment(desk.programDir() + "/temp", desk.files);
        const Result<QString> target = attachment.targetFor(name);
        QVERIFY2(!target, qPrintable(target.ok() ? *target : QString()));
    }

    void aRefusedWriteIsSaidInWords()
    {
        TestDesk desk;
        const QString path = desk.files.path(AddressBook::sentFile);
        QVERIFY(blockWritesAt(path, "folder in its place"));
        const Outcome kept = AddressBook::recordSent(desk.files, "TO-N0CALL", QDateTime::currentDateTime());
        QVERIFY(!kept);
        QVERIFY2(namesRefusal(kept.error(), path), qPrintable(kept.error()));
    }
};

QTEST_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
