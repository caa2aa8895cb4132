#include "compose/MailPosting.h"
#include "compose/MessageFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

// Files written by this process stop growing at `bytes`: a write past it
// fails with EFBIG, as a full disk fails with ENOSPC, after a part of the
// data went in.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
    void (*m_oldHandler)(int) = nullptr;
};

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList everythingIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QString fileName = QStringLiteral("MAIL - 140509.txt");
const QByteArray earlier = "84 79,83,77,70\r\n";

} // namespace

class TestMailPosting : public QObject
{
    Q_OBJECT

private slots:
    void postsAppendWhole_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addRow("new file") << false;
        QTest::addRow("second post of the same second") << true;
    }
    void postsAppendWhole()
    {
        QFETCH(bool, existing);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        if (existing) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        const MailFields mail{"To", "S", "M", "F"};
        const auto posted = MailPosting::appendRecord(dir.path(), fileName, mail);
        QVERIFY2(posted, qPrintable(posted.error));
        QCOMPARE(posted.path, path);
        QCOMPARE(bytesOf(path), (existing ? earlier : QByteArray())
                                    + MessageFile::mailRecordLine(mail.to, mail.subject, mail.message, mail.from));
        // No part file or part folder stays behind.
        QCOMPARE(everythingIn(dir.path()), QStringList{fileName});
    }

    // A post that runs out of room leaves the folder as it was and says why
    // in the system's words.
    void aFailedPostLeavesNothingBehind_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addRow("new file") << false;
        QTest::addRow("appended file") << true;
    }
    void aFailedPostLeavesNothingBehind()
    {
        QFETCH(bool, existing);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        if (existing) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        // About 80 KB of record against room for 16 KB.
        const MailFields mail{"To", "S", QString(27000, u'A'), "F"};
        MailPosting::Result posted;
        {
            FileSizeLimit limit(16 * 1024);
            if (!limit.isSet())
                QSKIP("the file size limit cannot be set here");
            posted = MailPosting::appendRecord(dir.path(), fileName, mail);
        }
        QVERIFY(!posted);
        QVERIFY2(posted.error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(posted.error));
        QVERIFY2(posted.error.contains(QDir::toNativeSeparators(path)), qPrintable(posted.error));
        if (existing) {
            QCOMPARE(bytesOf(path), earlier);
            QCOMPARE(everythingIn(dir.path()), QStringList{fileName});
        } else {
            QCOMPARE(everythingIn(dir.path()), QStringList());
        }
    }

    void aFullDeviceIsNamed()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        QVERIFY(QFile::link("/dev/full", path));
        const auto posted = MailPosting::appendRecord(dir.path(), fileName, {"To", "S", "M", "F"});
        QVERIFY(!posted);
        QVERIFY2(posted.error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(posted.error));
        QVERIFY(!posted.error.contains("Unknown error"));
        QCOMPARE(everythingIn(dir.path()), QStringList{fileName});
    }

    // A writer that stops half-way (a source that cannot be read, a
    // cancelled attachment) takes its bytes back out.
    void aWriterThatStopsIsUndone_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addRow("new file") << false;
        QTest::addRow("appended file") << true;
    }
    void aWriterThatStopsIsUndone()
    {
        QFETCH(bool, existing);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        if (existing) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        const auto failure = MailPosting::appendEntry(path, [](QIODevice &out) -> std::optional<QString> {
            out.write(QByteArray(100000, 'x'));
            return QStringLiteral("stopped");
        });
        QCOMPARE(failure, std::optional<QString>("stopped"));
        QCOMPARE(bytesOf(path), existing ? earlier : QByteArray("<missing>"));
        QCOMPARE(everythingIn(dir.path()).size(), existing ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestMailPosting)
#include "tst_mailposting.moc"
