#include "ReceiveFolder.h"
#include "TestFiles.h"
#include "ReceiveMachine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Kind = ReceiveMachine::Kind;
Q_DECLARE_METATYPE(QList<QByteArray>)

namespace {

QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes + "\r\n\n\r" + bytes;
}

// Keeps a log of what the machine asks of its sink; each call can be made to fail.
class RecordingSink : public ReceiveSink
{
public:
    QStringList calls;
    QByteArray content;
    QString failOpen, failAppend, failCommit;

    PortalOutcome open(const QString &name) override
    {
        calls << QStringLiteral("open ") + name;
        return failOpen.isEmpty() ? PortalOutcome() : PortalOutcome::failure(failOpen);
    }
    PortalOutcome append(const QByteArray &bytes) override
    {
        calls << QStringLiteral("append");
        if (!failAppend.isEmpty())
            return PortalOutcome::failure(failAppend);
        content += bytes;
        return {};
    }
    PortalOutcome commit() override
    {
        calls << QStringLiteral("commit");
        return failCommit.isEmpty() ? PortalOutcome() : PortalOutcome::failure(failCommit);
    }
    void discard() override { calls << QStringLiteral("discard"); }
};

} // namespace

class PortalReceiveTest : public QObject
{
    Q_OBJECT

private slots:
    void transfers_data();
    void transfers();
    void chatLines_data();
    void chatLines();
    void refusedNamesWriteNothing_data();
    void refusedNamesWriteNothing();
    void refusedNameLeavesExistingFile_data();
    void refusedNameLeavesExistingFile();
    void existingFileIsReplacedWhole();
    void fileAppearsOnlyWhenFinished();
    void discardLeavesNothing();
    void contentIsNotBoundedButLinesAre();
    void lineEndAtTheEnd_data();
    void lineEndAtTheEnd();
    void resetThrowsThePartAway();
    void leftoversAreRemoved();
    void sinkSeesTheProtocol_data();
    void sinkSeesTheProtocol();
    void sinkFailures_data();
    void sinkFailures();
    void endingMidReceiveDiscards();
};

void PortalReceiveTest::transfers_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");

    QTest::addRow("header and content in one arrival")
        << QList<QByteArray>{"MAIL:MAIL - 1.dat\r\n84 79,83,89,70\r\n"} << "MAIL - 1.dat" << QByteArray("84 79,83,89,70\r\n");
    QTest::addRow("header split over arrivals")
        << QList<QByteArray>{"MAI", "L:MAIL - 2.d", "at\r", "\nxyz", "123"} << "MAIL - 2.dat" << QByteArray("xyz123");
    QTest::addRow("lower-case prefix and a mail name")
        << QList<QByteArray>{"mail:Mail - 3.dat\r\nhello"} << "Mail - 3.dat" << QByteArray("hello");
    QTest::addRow("control lines inside content are content")
        << QList<QByteArray>{"FILE:File - 4.txt\r\n<ENDCHAT>\r\n", "<RESET>\r\nCHAT:x\r\nCHAT_END\r\n"} << "File - 4.txt"
        << QByteArray("<ENDCHAT>\r\n<RESET>\r\nCHAT:x\r\nCHAT_END\r\n");
    QTest::addRow("every byte value crosses unchanged")
        << QList<QByteArray>{"FILE:File - bin.txt\r\n" + allBytes()} << "File - bin.txt" << allBytes();
    QTest::addRow("name is not trimmed") << QList<QByteArray>{"MAIL:MAIL x.dat \r\nz"} << "MAIL x.dat " << QByteArray("z");
    QTest::addRow("header only") << QList<QByteArray>{"FILE:File - e.txt\r\n"} << "File - e.txt" << QByteArray();
}

void PortalReceiveTest::transfers()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QTemporaryDir home;
    // The receive folder does not exist yet: the first header creates it.
    const QString folder = home.filePath(QStringLiteral("mail Receive"));
    ReceiveFolder sink(folder);
    ReceiveMachine machine(sink);
    QList<ReceiveMachine::Event> events;
    for (const QByteArray &arrival : arrivals)
        events += machine.feed(arrival, true);
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].kind, Kind::FileOpened);
    QCOMPARE(events[0].text, name);
    QVERIFY(machine.fileOpen());
    QVERIFY(machine.finishFile().ok());
    QVERIFY(!machine.fileOpen());
    QVERIFY(QFileInfo::exists(QDir(folder).filePath(name)));
    QCOMPARE(TestFiles::read(QDir(folder).filePath(name)), content);
}

void PortalReceiveTest::chatLines_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<bool>("chatMode");
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<qsizetype>("left");
    const int chat = int(Kind::ChatText);

    QTest::addRow("plain, prefixed, empty and split lines")
        << QList<QByteArray>{"hello\r\nCHAT:TESTCALL-hi\r\nCHAT:\r\n\r\nchat:lo", "wer\r\npart"} << true
        << QList<int>{chat, chat, chat} << QStringList{"hello", "TESTCALL-hi", "lower"} << qsizetype(4);
    QTest::addRow("chat text keeps its spaces and code page")
        << QList<QByteArray>{"CHAT: caf\xe9 \x80 \r\n"} << true << QList<int>{chat} << QStringList{QStringLiteral(" caf\u00e9 \u20ac ")}
        << qsizetype(0);
    QTest::addRow("end line in lower case ends the chat and drops the rest")
        << QList<QByteArray>{"a\r\nchat_end\r\n<RESET>\r\nb\r\n"} << true << QList<int>{chat, int(Kind::EndChat)}
        << QStringList{"a", ""} << qsizetype(0);
    QTest::addRow("endchat in mixed case") << QList<QByteArray>{"<EndChat>\r\n"} << true << QList<int>{int(Kind::EndChat)}
                                           << QStringList{""} << qsizetype(0);
    QTest::addRow("reset in lower case") << QList<QByteArray>{"<reset>\r\nmore\r\n"} << true << QList<int>{int(Kind::Reset)}
                                         << QStringList{""} << qsizetype(0);
    QTest::addRow("control word inside a line is chat text")
        << QList<QByteArray>{"x <ENDCHAT>\r\n"} << true << QList<int>{chat} << QStringList{"x <ENDCHAT>"} << qsizetype(0);
    QTest::addRow("out of chat mode text only waits") << QList<QByteArray>{"hello\r\n<ENDCHAT>\r\n"} << false << QList<int>{}
                                                      << QStringList{} << qsizetype(18);
    QTest::addRow("endless line is cut off") << QList<QByteArray>{QByteArray(40000, 'a'), QByteArray(30000, 'a')} << true
                                             << QList<int>{int(Kind::Overflow)} << QStringList{""} << qsizetype(0);
    QTest::addRow("endless text out of chat mode is cut off too")
        << QList<QByteArray>{QByteArray(70000, '\n')} << false << QList<int>{int(Kind::Overflow)} << QStringList{""} << qsizetype(0);
    QTest::addRow("endless header is cut off") << QList<QByteArray>{"MAIL:" + QByteArray(70000, 'n')} << true
                                               << QList<int>{int(Kind::Overflow)} << QStringList{""} << qsizetype(0);
}

void PortalReceiveTest::chatLines()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(bool, chatMode);
    QFETCH(QList<int>, kinds);
    QFETCH(QStringList, texts);
    QFETCH(qsizetype, left);
    QTemporaryDir home;
    ReceiveFolder sink(home.path());
    ReceiveMachine machine(sink);
    QList<ReceiveMachine::Event> events;
    for (const QByteArray &arrival : arrivals)
        events += machine.feed(arrival, chatMode);
    QCOMPARE(events.size(), kinds.size());
    for (qsizetype i = 0; i < events.size(); ++i) {
        QCOMPARE(int(events[i].kind), kinds[i]);
        if (events[i].kind == Kind::ChatText)
            QCOMPARE(events[i].text, texts[i]);
    }
    QCOMPARE(machine.buffered(), left);
    QVERIFY(!machine.fileOpen());
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void PortalReceiveTest::refusedNamesWriteNothing_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addRow("parent folder") << QByteArray("MAIL:../MAIL.dat\r\n");
    QTest::addRow("two levels up, windows style") << QByteArray("FILE:..\\..\\FILE.txt\r\n");
    QTest::addRow("absolute path") << QByteArray("MAIL:/tmp/MAIL-abs.dat\r\n");
    QTest::addRow("drive prefix") << QByteArray("MAIL:C:MAIL.dat\r\n");
    QTest::addRow("sub folder") << QByteArray("MAIL:sub/MAIL.dat\r\n");
    QTest::addRow("no name") << QByteArray("FILE:\r\n");
    QTest::addRow("name of another kind") << QByteArray("mail:x.dat\r\n");
    QTest::addRow("kind word not at the start") << QByteArray("FILE: MAIL x.dat\r\n");
    QTest::addRow("the part-file folder") << QByteArray("FILE:.incoming\r\n");
    QTest::addRow("hidden mail name") << QByteArray("MAIL:.MAIL.dat\r\n");
}

void PortalReceiveTest::refusedNamesWriteNothing()
{
    QFETCH(QByteArray, header);
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("mail Receive"));
    ReceiveFolder sink(folder);
    ReceiveMachine machine(sink);
    const QList<ReceiveMachine::Event> events = machine.feed(header + "content\r\n", true);
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].kind, Kind::NameRefused);
    QVERIFY(!events[0].detail.isEmpty());
    QVERIFY(!machine.fileOpen());
    QCOMPARE(machine.buffered(), 0);
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/MAIL-abs.dat")));
}

void PortalReceiveTest::refusedNameLeavesExistingFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("plain text name") << "notes.txt";
    QTest::addRow("mail ending but no kind word") << "x.dat";
    QTest::addRow("leading space") << " MAIL x.dat";
}

void PortalReceiveTest::refusedNameLeavesExistingFile()
{
    QFETCH(QString, name);
    QTemporaryDir folder;
    const QByteArray old("the operator's own file\r\n");
    QFile existing(folder.filePath(name));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    QCOMPARE(existing.write(old), old.size());
    existing.close();
    const QDateTime stamp = QFileInfo(existing).lastModified();
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    const QList<ReceiveMachine::Event> events = machine.feed("FILE:" + name.toLatin1() + "\r\nreplacement\r\n", true);
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].kind, Kind::NameRefused);
    QVERIFY2(events[0].detail.contains(QStringLiteral("\"MAIL\" or \"FILE\"")), qPrintable(events[0].detail));
    QCOMPARE(TestFiles::read(existing.fileName()), old);
    QCOMPARE(QFileInfo(existing).lastModified(), stamp);
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{name});
}

void PortalReceiveTest::existingFileIsReplacedWhole()
{
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("MAIL - 5.dat"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'o'));
    }
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    machine.feed("MAIL:MAIL - 5.dat\r\nnew", true);
    // The old message stays readable whole until the new one is complete.
    QCOMPARE(TestFiles::read(target), QByteArray(5000, 'o'));
    QVERIFY(machine.finishFile().ok());
    QCOMPARE(TestFiles::read(target), QByteArray("new"));
}

void PortalReceiveTest::fileAppearsOnlyWhenFinished()
{
    QTemporaryDir folder;
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    machine.feed("FILE:File - 6.txt\r\npart one", true);
    QVERIFY(machine.fileOpen());
    // What a reader of the folder sees while the transfer runs: no file at all.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    machine.feed(" and two", true);
    QCOMPARE(machine.written(), 16);
    QVERIFY(machine.finishFile().ok());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"File - 6.txt"});
    QCOMPARE(TestFiles::read(folder.filePath(QStringLiteral("File - 6.txt"))), QByteArray("part one and two"));
}

void PortalReceiveTest::discardLeavesNothing()
{
    QTemporaryDir folder;
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    machine.feed("FILE:File - 7.txt\r\nbroken", true);
    machine.discardFile();
    QVERIFY(!machine.fileOpen());
    QVERIFY(!QFileInfo::exists(sink.partialPath(QStringLiteral("File - 7.txt"))));
    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("File - 7.txt"))));
}

void PortalReceiveTest::contentIsNotBoundedButLinesAre()
{
    QTemporaryDir folder;
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink, 1024);
    QVERIFY(machine.feed("FILE:File - 8.txt\r\n", true).size() == 1);
    for (int i = 0; i < 50; ++i)
        QVERIFY(machine.feed(QByteArray(4096, 'c'), true).isEmpty());
    QCOMPARE(machine.buffered(), 0);
    QVERIFY(machine.finishFile().ok());
    QCOMPARE(QFileInfo(folder.filePath(QStringLiteral("File - 8.txt"))).size(), 50 * 4096);
}

void PortalReceiveTest::lineEndAtTheEnd_data()
{
    QTest::addColumn<QList<QByteArray>>("content");
    QTest::addColumn<bool>("lineEnd");
    QTest::addRow("one piece") << QList<QByteArray>{"1,2\r\n"} << true;
    QTest::addRow("CR and LF in separate arrivals") << QList<QByteArray>{"1,2\r", "\n"} << true;
    QTest::addRow("LF alone") << QList<QByteArray>{"1,2\n"} << false;
    QTest::addRow("cut in the middle") << QList<QByteArray>{"1,2\r\n3,", "4"} << false;
    QTest::addRow("single byte arrivals") << QList<QByteArray>{"x", "\r", "\n"} << true;
    QTest::addRow("nothing") << QList<QByteArray>{} << false;
}

void PortalReceiveTest::lineEndAtTheEnd()
{
    QFETCH(QList<QByteArray>, content);
    QFETCH(bool, lineEnd);
    QTemporaryDir folder;
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    machine.feed("MAIL:MAIL - 9.dat\r\n", true);
    qint64 size = 0;
    for (const QByteArray &piece : content) {
        machine.feed(piece, true);
        size += piece.size();
    }
    QCOMPARE(machine.endsWithLineEnd(), lineEnd);
    QCOMPARE(machine.written(), size);
}

void PortalReceiveTest::resetThrowsThePartAway()
{
    QTemporaryDir folder;
    {
        QFile old(folder.filePath(QStringLiteral("File - 10.txt")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older whole file\r\n");
    }
    {
        ReceiveFolder sink(folder.path());
        ReceiveMachine machine(sink);
        machine.feed("FILE:File - 10.txt\r\nhalf of the new", true);
        machine.reset();
        QVERIFY(!machine.fileOpen());
        QCOMPARE(TestFiles::read(folder.filePath(QStringLiteral("File - 10.txt"))), QByteArray("older whole file\r\n"));
        // The program ending mid-transfer throws the part away too.
        machine.feed("FILE:File - 11.txt\r\nhalf", true);
        QVERIFY(machine.fileOpen());
    }
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"File - 10.txt"});
    QCOMPARE(QDir(folder.filePath(QStringLiteral(".incoming"))).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void PortalReceiveTest::leftoversAreRemoved()
{
    QTemporaryDir folder;
    ReceiveFolder sink(folder.path());
    ReceiveMachine machine(sink);
    QCOMPARE(sink.removeLeftovers().removed, 0);
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral(".incoming"))));
    for (const QString &name : {QStringLiteral("MAIL - a.dat"), QStringLiteral(".hidden"), QStringLiteral("File - b.txt")}) {
        QFile part(sink.partialPath(name));
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write("part");
    }
    QFile kept(folder.filePath(QStringLiteral("MAIL - kept.dat")));
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.write("whole\r\n");
    kept.close();
    const ReceiveFolder::Sweep sweep = sink.removeLeftovers();
    QCOMPARE(sweep.removed, 3);
    QVERIFY2(sweep.outcome.ok(), qPrintable(sweep.outcome.why()));
    QCOMPARE(QDir(folder.filePath(QStringLiteral(".incoming"))).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(TestFiles::read(kept.fileName()), QByteArray("whole\r\n"));
}

void PortalReceiveTest::sinkSeesTheProtocol_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<bool>("finish");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QByteArray>("content");

    QTest::addRow("header and content, finished")
        << QList<QByteArray>{"MAIL:MAIL - 1.dat\r\nab", "cd\r\n"} << true
        << QStringList{"open MAIL - 1.dat", "append", "append", "commit"} << QByteArray("abcd\r\n");
    QTest::addRow("header alone opens, nothing appended")
        << QList<QByteArray>{"FILE:File - 2.txt\r", "\n"} << true << QStringList{"open File - 2.txt", "commit"} << QByteArray();
    QTest::addRow("a second header is content")
        << QList<QByteArray>{"FILE:File - 3.txt\r\nMAIL:MAIL - 4.dat\r\n"} << true
        << QStringList{"open File - 3.txt", "append", "commit"} << QByteArray("MAIL:MAIL - 4.dat\r\n");
    QTest::addRow("not finished: nothing committed")
        << QList<QByteArray>{"MAIL:MAIL - 5.dat\r\nx"} << false << QStringList{"open MAIL - 5.dat", "append"} << QByteArray("x");
    QTest::addRow("refused name never reaches the sink")
        << QList<QByteArray>{"MAIL:../MAIL.dat\r\nx"} << true << QStringList{} << QByteArray();
    QTest::addRow("name not kept never reaches the sink")
        << QList<QByteArray>{"FILE:notes.txt\r\nx"} << true << QStringList{} << QByteArray();
    QTest::addRow("chat and control lines never reach the sink")
        << QList<QByteArray>{"hello\r\nCHAT:x\r\n<RESET>\r\n"} << true << QStringList{} << QByteArray();
}

void PortalReceiveTest::sinkSeesTheProtocol()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(bool, finish);
    QFETCH(QStringList, calls);
    QFETCH(QByteArray, content);
    RecordingSink sink;
    {
        ReceiveMachine machine(sink);
        for (const QByteArray &arrival : arrivals)
            (void)machine.feed(arrival, true);
        if (finish)
            QVERIFY(machine.finishFile().ok());
        QCOMPARE(sink.calls, calls);
        QCOMPARE(sink.content, content);
        QCOMPARE(machine.written(), content.size());
    }
}

void PortalReceiveTest::sinkFailures_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("calls");
    QTest::addRow("open") << "open" << QStringList{"open MAIL - 1.dat"};
    QTest::addRow("append") << "append" << QStringList{"open MAIL - 1.dat", "append", "discard"};
    QTest::addRow("commit") << "commit" << QStringList{"open MAIL - 1.dat", "append", "commit"};
}

void PortalReceiveTest::sinkFailures()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);
    const QString cause = QStringLiteral("cause of the %1 failure").arg(failing);
    RecordingSink sink;
    (failing == u"open" ? sink.failOpen : failing == u"append" ? sink.failAppend : sink.failCommit) = cause;
    ReceiveMachine machine(sink);
    const QList<ReceiveMachine::Event> events = machine.feed("MAIL:MAIL - 1.dat\r\ncontent\r\n", true);
    if (failing == u"commit") {
        QCOMPARE(events.size(), 1);
        const PortalOutcome finished = machine.finishFile();
        QVERIFY(!finished.ok());
        QCOMPARE(finished.why(), cause);
    } else {
        // The sink's own cause reaches the caller, and the receive is over.
        QCOMPARE(events.size(), failing == u"open" ? 1 : 2);
        QCOMPARE(events.last().kind, Kind::WriteFailed);
        QCOMPARE(events.last().text, QStringLiteral("MAIL - 1.dat"));
        QCOMPARE(events.last().detail, cause);
        QCOMPARE(machine.buffered(), 0);
    }
    QVERIFY(!machine.fileOpen());
    QCOMPARE(sink.calls, calls);
}

void PortalReceiveTest::endingMidReceiveDiscards()
{
    RecordingSink sink;
    {
        ReceiveMachine machine(sink);
        (void)machine.feed("FILE:File - 1.txt\r\nhalf", true);
        machine.reset();
        (void)machine.feed("FILE:File - 2.txt\r\nhalf", true);
    }
    QCOMPARE(sink.calls,
             (QStringList{"open File - 1.txt", "append", "discard", "open File - 2.txt", "append", "discard"}));
}

QTEST_GUILESS_MAIN(PortalReceiveTest)
#include "tst_portal_receive.moc"
