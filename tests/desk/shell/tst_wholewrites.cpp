// Every file the desk writes is written whole or reported as failed with the
// system's own reason; a write the system cuts short never passes for a
// whole one, and the file's old content stays as it was.

#include "FakePorts.h"
#include "TestFiles.h"
#include "FileSizeLimit.h"
#include "compose/AddressBook.h"
#include "shell/Modsavemodule.h"
#include "shell/SettingFiles.h"
#include "shell/StationLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// One of the desk's writers, set up in a program folder of its own.
struct Writer {
    QString path; ///< the file it writes
    std::function<Outcome()> write;
};

Writer writerFor(const QString &name, const QString &program, const SettingFiles &files, const FakeClock &clock)
{
    if (name == u"setting")
        return {files.path(Setting::SendDir), [&files] {
                    return files.writeRecord(Setting::SendDir, QStringLiteral("/home/op/packet/outgoing mail"));
                }};
    if (name == u"hand-over")
        return {files.path(Setting::AttachmentHandOver), [&files] {
                    QByteArray bytes;
                    for (int i = 0; i < 40000; ++i)
                        bytes.append(char('A' + i % 26));
                    return files.writeBytes(Setting::AttachmentHandOver, bytes);
                }};
    if (name == u"address book")
        return {files.path(AddressBook::sentFile), [&files, &clock] {
                    return AddressBook::recordSent(files, QStringLiteral("K1ABC, W2XYZ-7; DL3QQ"), clock.now());
                }};
    if (name == u"station log") {
        auto log = std::make_shared<StationLog>(program, clock);
        return {log->todaysPath(), [log] { return log->append(QStringLiteral("Mail received from K1ABC: ") + QString(200, u'x')); }};
    }
    if (name == u"archive") {
        auto save = std::make_shared<Modsavemodule>(files, clock);
        return {QDir(program).filePath(Modsavemodule::archiveFileName(clock.now())), [save] {
                    return save->saveReceivedMessage(
                        {QStringLiteral("K1ABC"), QStringLiteral("Net report"), QString(300, u'm'), QStringLiteral("W2XYZ")});
                }};
    }
    return {QString(), [name] { return Outcome::failure(QStringLiteral("no writer called ") + name); }};
}

} // namespace

class TestWholeWrites : public QObject
{
    Q_OBJECT

private slots:
    void aWriteCutShortIsNoWholeWrite_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QByteArray>("old"); ///< the file's content before the write
        QTest::addColumn<bool>("appends"); ///< adds to the file rather than replacing it

        QTest::addRow("setting file") << "setting" << QByteArray("\"/home/op/packet/old\"\r\n") << false;
        QTest::addRow("hand-over file longer than a buffer") << "hand-over" << QByteArray("old hand-over\r\n") << false;
        QTest::addRow("address book") << "address book" << QByteArray("N0OLD,2026-01-02T03:04:05Z\r\n") << false;
        QTest::addRow("station log") << "station log" << QByteArray("2026-12-07T13:00:00+00:00 Desk started\n") << true;
        QTest::addRow("saved-mail archive") << "archive" << QByteArray("K9OLD,Old,Old text,N0OLD\r\n") << true;
    }

    void aWriteCutShortIsNoWholeWrite()
    {
        QFETCH(QString, writer);
        QFETCH(QByteArray, old);
        QFETCH(bool, appends);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        FakeClock clock;

        // What the writer puts in the file when nothing stops it.
        const QString freeProgram = dir.filePath(QStringLiteral("free/program"));
        QVERIFY(QDir().mkpath(freeProgram));
        const SettingFiles freeFiles(freeProgram, freeProgram);
        QVERIFY(freeFiles.writePrintLine(Setting::SaveDir, freeProgram).ok());
        const Writer unstopped = writerFor(writer, freeProgram, freeFiles, clock);
        QVERIFY(!unstopped.path.isEmpty());
        QVERIFY(TestFiles::write(unstopped.path, old));
        const Outcome unlimited = unstopped.write();
        QVERIFY2(unlimited.ok(), qPrintable(unlimited.error()));
        const QByteArray whole = TestFiles::read(unstopped.path);
        QVERIFY(!appends || whole.startsWith(old));
        const QByteArray payload = appends ? whole.mid(old.size()) : whole;
        QVERIFY(payload.size() >= 2);
        // The system stops the write half way: part of it goes in, the rest is refused.
        const rlim_t limit = rlim_t((appends ? old.size() : 0) + payload.size() / 2);

        const QString program = dir.filePath(QStringLiteral("limited/program"));
        QVERIFY(QDir().mkpath(program));
        const SettingFiles files(program, program);
        QVERIFY(files.writePrintLine(Setting::SaveDir, program).ok());
        const Writer limitedWriter = writerFor(writer, program, files, clock);
        QVERIFY(TestFiles::write(limitedWriter.path, old));
        const QDir beside = QFileInfo(limitedWriter.path).absoluteDir();
        const QStringList before = beside.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        Outcome written;
        QString reason; // what the system itself says to the same write
        {
            const FileSizeLimit limited(limit);
            QVERIFY(limited.isSet());
            written = limitedWriter.write();
            reason = systemReason(dir.filePath(QStringLiteral("twin")), appends ? old : QByteArray(), payload);
        }

        QVERIFY2(!written.ok(), "a write cut short was reported as whole");
        QVERIFY2(written.error().contains(QDir::toNativeSeparators(limitedWriter.path)), qPrintable(written.error()));
        QVERIFY2(written.error().endsWith(QStringLiteral(": ") + reason),
                 qPrintable(written.error() + QStringLiteral(" / ") + reason));

        // Nothing of the cut write is left: the old content as it was, no file beside it.
        QCOMPARE(TestFiles::read(limitedWriter.path), old);
        QCOMPARE(beside.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

        // With room again, the same write goes in whole.
        const Outcome again = limitedWriter.write();
        QVERIFY2(again.ok(), qPrintable(again.error()));
        QCOMPARE(TestFiles::read(limitedWriter.path), whole);
    }
};

QTEST_GUILESS_MAIN(TestWholeWrites)
#include "tst_wholewrites.moc"
