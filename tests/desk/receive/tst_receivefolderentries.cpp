#include "receive/FileMonitors.h"
#include "TestFiles.h"
#include "receive/ReceiveFolderEntries.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// "MAIL - café.dat" as a program writing Latin-1 names leaves it.
const QByteArray latinName = "MAIL - caf\xe9.dat";
const QString latinReading = QStringLiteral("MAIL - caf\u00e9.dat");

QByteArray bytesOf(const QString &path)
{
    return TestFiles::read(path, "<missing>");
}

bool writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool whole = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && whole;
}

bool rawExists(const QByteArray &path)
{
    struct stat status{};
    return ::lstat(path.constData(), &status) == 0;
}

// Puts an entry of the named kind at `path`: a real FIFO, UNIX socket,
// folder or link, never a stand-in. What a link points at lies in `aside`.
bool makeEntry(const QString &kind, const QString &path, const QString &aside = QDir::tempPath())
{
    const QByteArray native = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(aside) + "/target-" + QByteArray::number(QRandomGenerator::global()->generate());
    if (kind == "regular" || kind == "hidden regular")
        return writeRaw(native, "65,66\r\n");
    if (kind == "FIFO")
        return ::mkfifo(native.constData(), 0644) == 0;
    if (kind == "folder")
        return QDir().mkdir(path);
    if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || size_t(native.size()) >= sizeof address.sun_path)
            return false;
        std::copy(native.cbegin(), native.cend(), address.sun_path);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd); // the socket file stays
        return bound;
    }
    if (kind == "link to a regular file")
        return writeRaw(target, "x") && ::symlink(target.constData(), native.constData()) == 0;
    if (kind == "link to a FIFO")
        return ::mkfifo(target.constData(), 0644) == 0 && ::symlink(target.constData(), native.constData()) == 0;
    if (kind == "link to nothing")
        return ::symlink(target.constData(), native.constData()) == 0;
    return false;
}

} // namespace

class TestReceiveFolderEntries : public QObject
{
    Q_OBJECT

private slots:
    // The monitor announces exactly what the list would show: an entry that
    // is counted is listed and announced, one that is not is neither.
    void onlyRegularFilesAreMessages_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("counted");
        QTest::addRow("regular") << "regular" << true;
        QTest::addRow("hidden regular") << "hidden regular" << true;
        QTest::addRow("link to a regular file") << "link to a regular file" << true;
        QTest::addRow("FIFO") << "FIFO" << false;
        QTest::addRow("socket") << "socket" << false;
        QTest::addRow("folder") << "folder" << false;
        QTest::addRow("link to a FIFO") << "link to a FIFO" << false;
        QTest::addRow("link to nothing") << "link to nothing" << false;
    }
    void onlyRegularFilesAreMessages()
    {
        QFETCH(QString, kind);
        QFETCH(bool, counted);
        QTemporaryDir folder;
        const QString name = kind.startsWith("hidden") ? QStringLiteral(".MAIL - x") : QStringLiteral("MAIL - x");
        QTimer timer; // never runs: the test drives the ticks
        FileMonitors monitor;
        monitor.folderpath = folder.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.stop();
        QSignalSpy announced(&monitor, &FileMonitors::FileReceived);

        QTemporaryDir aside;
        QVERIFY2(makeEntry(kind, folder.filePath(name), aside.path()), qPrintable(kind));
        QCOMPARE(ReceiveFolderEntries::list(folder.path()).names, counted ? QStringList{name} : QStringList{});
        monitor.scan();
        QCOMPARE(announced.count(), counted ? 1 : 0);
    }

    void aNameThatIsNotUtf8IsReadAsTheCodePage_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<bool>("openable");
        QTest::addRow("Latin-1 e acute") << latinName << latinReading << false;
        QTest::addRow("code page only byte") << QByteArray("MAIL - \x80 5.dat") << QStringLiteral("MAIL - \u20ac 5.dat")
                                             << false;
        QTest::addRow("lone continuation byte") << QByteArray("File - \xa9.txt") << QStringLiteral("File - \u00a9.txt")
                                                << false;
        QTest::addRow("valid UTF-8 stays as it is") << QByteArray("MAIL - caf\xc3\xa9.dat") << latinReading << true;
        QTest::addRow("plain ASCII") << QByteArray("MAIL - 1.dat") << QStringLiteral("MAIL - 1.dat") << true;
    }
    void aNameThatIsNotUtf8IsReadAsTheCodePage()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, reading);
        QFETCH(bool, openable);
        QCOMPARE(ReceiveFolderEntries::isOpenableName(raw), openable);
        QCOMPARE(ReceiveFolderEntries::readName(raw), reading);
    }

    // Seen and announced under its reading, but renamed only when listed
    // for the operator; the file and its bytes are kept throughout, and
    // the rename is no second arrival.
    void aLatinOneNamedFileIsAnnouncedOnceAndMadeOpenable()
    {
        QTemporaryDir folder;
        const QByteArray rawPath = QFile::encodeName(folder.path()) + '/' + latinName;
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = folder.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.stop();
        QSignalSpy announced(&monitor, &FileMonitors::FileReceived);

        QVERIFY(writeRaw(rawPath, "77,65\r\n"));
        monitor.scan();
        QCOMPARE(announced.count(), 1);
        QCOMPARE(ReceiveFolderEntries::list(folder.path()).names, QStringList{latinReading});
        QVERIFY(rawExists(rawPath)); // only looking changes nothing

        const auto listing = ReceiveFolderEntries::list(folder.path(), ReceiveFolderEntries::Names::MadeOpenable);
        QCOMPARE(listing.names, QStringList{latinReading});
        QCOMPARE(listing.renamed.size(), 1);
        QVERIFY(listing.problems.isEmpty());
        QVERIFY(!rawExists(rawPath));
        QCOMPARE(bytesOf(folder.filePath(latinReading)), QByteArray("77,65\r\n"));
        monitor.scan();
        QCOMPARE(announced.count(), 1);
    }

    // The desk renames a file whose name is not UTF-8 to its reading, or to
    // a numbered spelling when that is taken: the same message, announced
    // once, even when its reading matches a message already there.
    void theDesksOwnRenameIsNoArrival_data()
    {
        QTest::addColumn<int>("taken");
        QTest::addColumn<QString>("renamedTo");
        QTest::addRow("reading free") << 0 << latinReading;
        QTest::addRow("reading taken") << 1 << QStringLiteral("MAIL - caf\u00e9 (2).dat");
        QTest::addRow("reading and (2) taken") << 2 << QStringLiteral("MAIL - caf\u00e9 (3).dat");
    }
    void theDesksOwnRenameIsNoArrival()
    {
        QFETCH(int, taken);
        QFETCH(QString, renamedTo);
        QTemporaryDir folder;
        for (int i = 0; i < taken; ++i)
            QVERIFY(writeRaw(QFile::encodeName(folder.filePath(i == 0 ? latinReading
                                                                      : QStringLiteral("MAIL - caf\u00e9 (%1).dat").arg(i + 1))),
                             "older"));
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = folder.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.stop();
        QSignalSpy announced(&monitor, &FileMonitors::FileReceived);
        const ReceiveFolderEntries::Snapshot before = ReceiveFolderEntries::snapshot(folder.path());

        QVERIFY(writeRaw(QFile::encodeName(folder.path()) + '/' + latinName, "77,65\r\n"));
        monitor.scan();
        QCOMPARE(announced.count(), 1);
        const ReceiveFolderEntries::Snapshot seen = ReceiveFolderEntries::snapshot(folder.path());
        const ReceiveFolderEntries::Changes arrival = ReceiveFolderEntries::compare(before, seen);
        QCOMPARE(arrival.arrived.size(), 1);
        QCOMPARE(ReceiveFolderEntries::nameOf(arrival.arrived.first()), latinReading);
        QCOMPARE(ReceiveFolderEntries::sizeOf(folder.path(), arrival.arrived.first()), 7);

        const auto listing = ReceiveFolderEntries::list(folder.path(), ReceiveFolderEntries::Names::MadeOpenable);
        QVERIFY(listing.names.contains(renamedTo));
        QCOMPARE(bytesOf(folder.filePath(renamedTo)), QByteArray("77,65\r\n"));
        monitor.scan();
        monitor.scan();
        QCOMPARE(announced.count(), 1);
        const ReceiveFolderEntries::Changes rename =
            ReceiveFolderEntries::compare(seen, ReceiveFolderEntries::snapshot(folder.path()));
        QVERIFY(rename.arrived.isEmpty());
        QCOMPARE(rename.renamed.size(), 1);
        QCOMPARE(rename.renamed.first(), std::make_pair(arrival.arrived.first(), renamedTo));
    }

    // Only the desk's own rename is passed over: any other change around a
    // file whose name is not UTF-8 is announced as it always was.
    void otherChangesAroundAnUnspellableNameAreArrivals_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("announcements");
        QTest::addRow("renamed to an unrelated name") << "rename to other" << 2;
        QTest::addRow("gone, and a new file under its reading") << "replace by reading" << 2;
        QTest::addRow("renamed before the monitor saw it") << "rename unseen" << 1;
    }
    void otherChangesAroundAnUnspellableNameAreArrivals()
    {
        QFETCH(QString, change);
        QFETCH(int, announcements);
        QTemporaryDir folder;
        const QByteArray rawPath = QFile::encodeName(folder.path()) + '/' + latinName;
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = folder.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.stop();
        QSignalSpy announced(&monitor, &FileMonitors::FileReceived);

        QVERIFY(writeRaw(rawPath, "first"));
        if (change != "rename unseen")
            monitor.scan();
        if (change == "rename to other") {
            QCOMPARE(::rename(rawPath.constData(), QFile::encodeName(folder.filePath("MAIL - other.dat")).constData()), 0);
        } else if (change == "replace by reading") {
            // A file made while the old one is still there never shares its number.
            QVERIFY(writeRaw(QFile::encodeName(folder.filePath(latinReading)), "second"));
            QCOMPARE(::unlink(rawPath.constData()), 0);
        } else {
            const auto listing = ReceiveFolderEntries::list(folder.path(), ReceiveFolderEntries::Names::MadeOpenable);
            QCOMPARE(listing.names, QStringList{latinReading});
        }
        monitor.scan();
        QCOMPARE(announced.count(), announcements);
    }

    // A reading that another file already has never replaces it: the
    // renamed file takes a numbered spelling, and both keep their bytes.
    void aTakenReadingIsNeverOverwritten_data()
    {
        QTest::addColumn<int>("taken");
        QTest::addColumn<QString>("expected");
        QTest::addRow("reading free") << 0 << latinReading;
        QTest::addRow("reading taken") << 1 << QStringLiteral("MAIL - caf\u00e9 (2).dat");
        QTest::addRow("reading and (2) taken") << 2 << QStringLiteral("MAIL - caf\u00e9 (3).dat");
    }
    void aTakenReadingIsNeverOverwritten()
    {
        QFETCH(int, taken);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        QStringList others;
        for (int i = 0; i < taken; ++i) {
            const QString other = i == 0 ? latinReading : QStringLiteral("MAIL - caf\u00e9 (%1).dat").arg(i + 1);
            QVERIFY(writeRaw(QFile::encodeName(folder.filePath(other)), "other " + QByteArray::number(i)));
            others << other;
        }
        QVERIFY(writeRaw(QFile::encodeName(folder.path()) + '/' + latinName, "received"));

        const auto listing = ReceiveFolderEntries::list(folder.path(), ReceiveFolderEntries::Names::MadeOpenable);
        QVERIFY(listing.problems.isEmpty());
        QVERIFY2(listing.names.contains(expected), qPrintable(listing.names.join(" | ")));
        QCOMPARE(listing.names.size(), taken + 1);
        QCOMPARE(bytesOf(folder.filePath(expected)), QByteArray("received"));
        for (int i = 0; i < taken; ++i)
            QCOMPARE(bytesOf(folder.filePath(others.at(i))), "other " + QByteArray::number(i));
    }

    void whatIsNotAFolderIsNamed_data()
    {
        QTest::addColumn<QString>("kind"); // "missing": nothing there
        QTest::addColumn<QString>("words"); // empty: no complaint
        QTest::addRow("a folder") << "folder" << "";
        QTest::addRow("nothing") << "missing" << "";
        QTest::addRow("a regular file") << "regular" << "is a file, not a folder";
        QTest::addRow("a FIFO") << "FIFO" << "is a FIFO (named pipe), not a folder";
        QTest::addRow("a socket") << "socket" << "is a socket, not a folder";
    }
    void whatIsNotAFolderIsNamed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, words);
        QTemporaryDir root;
        const QString path = root.filePath("inbox");
        if (kind != "missing")
            QVERIFY(makeEntry(kind, path));
        const QString said = ReceiveFolderEntries::notAFolder(path);
        QCOMPARE(said.isEmpty(), words.isEmpty());
        QVERIFY2(said.contains(words) && (words.isEmpty() || said.contains(QDir::toNativeSeparators(path))), qPrintable(said));

        // The monitor will not watch it, and says why instead of starting.
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = path;
        monitor.SetTimerControl(&timer);
        const Outcome started = monitor.StartMonitoring();
        QCOMPARE(started.ok(), words.isEmpty());
        QVERIFY2(started.error().contains(words), qPrintable(started.error()));
        QCOMPARE(timer.isActive(), words.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReceiveFolderEntries)
#include "tst_receivefolderentries.moc"
