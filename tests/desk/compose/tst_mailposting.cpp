#include "FileSizeLimit.h"
#include "TestDesk.h"
#include "compose/MailPosting.h"
#include "compose/MessageFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {

QStringList everythingIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QString fileName = QStringLiteral("MAIL - 140509.txt");
const QByteArray earlier = "84 79,83,77,70\r\n";

// The rows of a post into a new file and one onto an earlier post.
void newOrExisting(const char *existingRow)
{
    QTest::addColumn<bool>("existing");
    QTest::addRow("new file") << false;
    QTest::addRow("%s", existingRow) << true;
}

// A temporary folder for the post, holding an earlier post of the same name
// where `existing` says so.
struct PostFolder {
    explicit PostFolder(bool existing)
    {
        if (existing)
            writeFile(path, earlier);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
};

} // namespace

class TestMailPosting : public QObject
{
    Q_OBJECT

private slots:
    void postsAppendWhole_data()
    {
        newOrExisting("second post of the same second");
    }
    void postsAppendWhole()
    {
        QFETCH(bool, existing);
        const PostFolder folder(existing);
        const QString &path = folder.path;
        const MailFields mail{"To", "S", "M", "F"};
        const auto posted = MailPosting::appendRecord(folder.dir.path(), fileName, mail);
        QVERIFY2(posted, qPrintable(posted.error()));
        QCOMPARE(*posted, path);
        QCOMPARE(readAll(path), (existing ? earlier : QByteArray())
                                    + MessageFile::mailRecordLine(mail.to, mail.subject, mail.message, mail.from));
        // No part file or part folder stays behind.
        QCOMPARE(everythingIn(folder.dir.path()), QStringList{fileName});
    }

    // A post that runs out of room leaves the folder as it was and says why
    // in the system's words.
    void aFailedPostLeavesNothingBehind_data()
    {
        newOrExisting("appended file");
    }
    void aFailedPostLeavesNothingBehind()
    {
        QFETCH(bool, existing);
        const PostFolder folder(existing);
        const QString &path = folder.path;
        // About 80 KB of record against room for 16 KB.
        const MailFields mail{"To", "S", QString(27000, u'A'), "F"};
        std::optional<MailPosting::Posted> attempt;
        {
            FileSizeLimit limit(16 * 1024);
            if (!limit.isSet())
                QSKIP("the file size limit cannot be set here");
            attempt.emplace(MailPosting::appendRecord(folder.dir.path(), fileName, mail));
        }
        const QString error = attempt->error();
        QVERIFY(!*attempt);
        QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        if (existing) {
            QCOMPARE(readAll(path), earlier);
            QCOMPARE(everythingIn(folder.dir.path()), QStringList{fileName});
        } else {
            QCOMPARE(everythingIn(folder.dir.path()), QStringList());
        }
    }

    // A device (here one that is always full) under the message file's name
    // is not appended to: only a regular file holds a message.
    void aDeviceUnderTheNameIsNamed()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        QVERIFY(QFile::link("/dev/full", path));
        const auto posted = MailPosting::appendRecord(dir.path(), fileName, {"To", "S", "M", "F"});
        QVERIFY(!posted);
        QVERIFY2(posted.error().contains("is a device, not a regular file"), qPrintable(posted.error()));
        QVERIFY2(posted.error().contains(QDir::toNativeSeparators(path)), qPrintable(posted.error()));
        QCOMPARE(everythingIn(dir.path()), QStringList{fileName});
    }

    // A writer that stops half-way (a source that cannot be read, a
    // cancelled attachment) takes its bytes back out.
    void aWriterThatStopsIsUndone_data()
    {
        newOrExisting("appended file");
    }
    void aWriterThatStopsIsUndone()
    {
        QFETCH(bool, existing);
        const PostFolder folder(existing);
        const QString &path = folder.path;
        const Outcome failure = MailPosting::appendEntry(path, [](QIODevice &out) {
            out.write(QByteArray(100000, 'x'));
            return Outcome::failure(QStringLiteral("stopped"));
        });
        QVERIFY(!failure);
        QCOMPARE(failure.error(), QStringLiteral("stopped"));
        QCOMPARE(readAll(path), existing ? earlier : QByteArray("<missing>"));
        QCOMPARE(everythingIn(folder.dir.path()).size(), existing ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestMailPosting)
#include "tst_mailposting.moc"
