#include "FilePump.h"
#include "TestWaits.h"
#include "FileStationStore.h"
#include "FileTransferLog.h"
#include "Outbox.h"
#include "PortalFakes.h"
#include "PortalStation.h"
#include "RadioSetting.h"
#include "SettingsStationIdStore.h"
#include "TransferLog.h"

#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

/// Runs `read` on a worker thread. When it has not answered within a long
/// wait it is waiting in open() on the FIFO: a writer opens and closes the
/// other end to set it free, and the answer is empty (the read hung).
std::optional<QString> finishesWithin(const QString &fifo, const std::function<QString()> &read)
{
    std::promise<QString> promise;
    std::future<QString> answer = promise.get_future();
    std::thread worker([&] { promise.set_value(read()); });
    const bool done = answer.wait_for(std::chrono::milliseconds(TestWaits::settleMs)) == std::future_status::ready;
    if (!done) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    worker.join();
    if (!done)
        return std::nullopt;
    return answer.get();
}

/// A device that hands out at most a few bytes per read, as a pipe may.
class ShortReads : public QIODevice
{
public:
    explicit ShortReads(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min({maxSize, qint64(5), qint64(m_bytes.size()) - m_at});
        if (n <= 0)
            return m_at >= m_bytes.size() ? -1 : 0;
        memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

} // namespace

class PortalSpecialFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fifoIsRefusedNotWaitedOn_data();
    void fifoIsRefusedNotWaitedOn();
    void outboxDeviceIsRefused();
    void transferLogRecordIsNotLostInAFifo();
    void newestOutboxEntry_data();
    void newestOutboxEntry();
    void newestOutboxFifoIsNamedNotSent();
    void transferLogTailReadsOnThroughShortReads();
    void stationIdStoreFailureNamesThePath();
    void windowShowsStationIdStoreFailure();

private:
    QTemporaryDir m_config;
};

void PortalSpecialFilesTest::initTestCase()
{
    // The real station ID store writes here, never in the tester's own settings.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void PortalSpecialFilesTest::fifoIsRefusedNotWaitedOn_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addRow("transfer log") << QStringLiteral("log");
    QTest::addRow("station list") << QStringLiteral("stations");
    QTest::addRow("link choice") << QStringLiteral("radio");
    QTest::addRow("outbox file sent") << QStringLiteral("pump");
}

void PortalSpecialFilesTest::fifoIsRefusedNotWaitedOn()
{
    QFETCH(QString, reader);
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("MAIL0001.TXT"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const std::optional<QString> said = finishesWithin(fifo, [&]() -> QString {
        if (reader == u"log") {
            TransferLog::Tail tail;
            return FileTransferLog(fifo).readLast(10, &tail).why();
        }
        if (reader == u"stations")
            return FileStationStore(fifo).load().isEmpty() ? QStringLiteral("nothing") : QStringLiteral("entries");
        if (reader == u"radio")
            return RadioSetting(fifo).load().problem;
        FilePump pump;
        return pump.open(fifo).why();
    });
    QVERIFY2(said.has_value(), "the read waited in open() on the FIFO");
    if (reader == u"stations") {
        QCOMPARE(*said, QStringLiteral("nothing"));
        return;
    }
    QVERIFY2(said->contains(QDir::toNativeSeparators(fifo) + QStringLiteral(" is a FIFO (named pipe), not a regular file.")),
             qPrintable(*said));
}

void PortalSpecialFilesTest::outboxDeviceIsRefused()
{
    // A device opens without waiting but never ends: it is no file to send.
    QFile null(QStringLiteral("/dev/null"));
    FilePump pump;
    const PortalOutcome opened = pump.open(null.fileName());
    QVERIFY(!opened);
    QCOMPARE(opened.why(), QStringLiteral("/dev/null is a device, not a regular file."));
    QVERIFY(!pump.reading());
}

void PortalSpecialFilesTest::transferLogRecordIsNotLostInAFifo()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("transfers.log"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TransferRecord record;
    record.file = QStringLiteral("MAIL0001.TXT");
    record.time = QDateTime::currentDateTimeUtc();
    const PortalOutcome logged = FileTransferLog(fifo).append(record);
    QVERIFY2(!logged, "a record written into a FIFO was called logged");
    QCOMPARE(logged.why(), QDir::toNativeSeparators(fifo) + QStringLiteral(" is a FIFO (named pipe), not a regular file."));
}

void PortalSpecialFilesTest::newestOutboxEntry_data()
{
    // Beside a regular file "old.dat" made ten minutes ago, one newer entry.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("newest");
    QTest::addRow("a FIFO is named, not passed over") << "fifo" << "MAIL0002.TXT";
    QTest::addRow("a dangling link is passed over") << "dangling" << "old.dat";
    QTest::addRow("a link to a file counts") << "link" << "MAIL0002.TXT";
}

void PortalSpecialFilesTest::newestOutboxEntry()
{
    QFETCH(QString, kind);
    QFETCH(QString, newest);
    QTemporaryDir dir;
    QFile old(dir.filePath(QStringLiteral("old.dat")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    QCOMPARE(old.write("x"), 1);
    QVERIFY(old.flush());
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
    const QString entry = dir.filePath(QStringLiteral("MAIL0002.TXT"));
    if (kind == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
    } else {
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        if (kind == u"link") {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(target, entry));
        if (kind == u"link") {
            QCOMPARE(Outbox::newestFile(dir.path()), newest);
            return;
        }
    }
    QCOMPARE(Outbox::newestFile(dir.path()), newest);
}

void PortalSpecialFilesTest::newestOutboxFifoIsNamedNotSent()
{
    PortalStation station(0, 0);
    station.start();
    station.putInOutbox(QStringLiteral("MAIL0001.TXT"), "older mail", 600);
    const QString fifo = QDir(station.setup.sendDirectory).filePath(QStringLiteral("MAIL0002.TXT"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // The send runs on this thread: a watchdog frees it should it wait on the FIFO.
    std::promise<void> sent;
    std::future<void> done = sent.get_future();
    bool freed = false;
    std::thread watchdog([&] {
        if (done.wait_for(std::chrono::milliseconds(TestWaits::settleMs)) == std::future_status::ready)
            return;
        freed = true;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    station.sendTo(QStringLiteral("127.0.0.1"));
    sent.set_value();
    watchdog.join();
    QVERIFY2(!freed, "the send waited in open() on the FIFO");
    const QString said = station.text("Txtlogsend");
    QVERIFY2(said.contains(QDir::toNativeSeparators(fifo) + QStringLiteral(" is a FIFO (named pipe), not a regular file.")),
             qPrintable(said));
    // Neither the FIFO nor the older file in its stead goes out.
    QVERIFY2(!said.contains(QStringLiteral("Connect attempted")), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("MAIL0001.TXT")), qPrintable(said));
}

void PortalSpecialFilesTest::transferLogTailReadsOnThroughShortReads()
{
    TransferRecord record;
    record.direction = TransferRecord::Direction::Sent;
    record.file = QStringLiteral("MAIL0001.TXT");
    record.peer = QStringLiteral("127.0.0.1");
    record.fileSize = 12;
    record.fileModified = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    record.time = QDateTime::fromSecsSinceEpoch(1700000100, Qt::UTC);
    record.result = TransferRecord::Result::Complete;
    QByteArray bytes = TransferLog::headerLine();
    for (int i = 0; i < 4; ++i) {
        record.file = QStringLiteral("MAIL%1.TXT").arg(i, 4, 10, QLatin1Char('0'));
        bytes += TransferLog::line(record);
    }
    ShortReads device(bytes);
    const TransferLog::Tail tail = TransferLog::readTail(device, 10);
    QCOMPARE(tail.damaged, 0);
    QCOMPARE(tail.records.size(), 4);
    QCOMPARE(tail.records.last().file, QStringLiteral("MAIL0003.TXT"));
}

void PortalSpecialFilesTest::stationIdStoreFailureNamesThePath()
{
    SettingsStationIdStore store;
    QVERIFY(store.store(QStringLiteral("K1ABC")));
    QCOMPARE(store.load(), QStringLiteral("K1ABC"));
    const QString path = QSettings(QStringLiteral("telnet server"), QStringLiteral("telnet server")).fileName();
    QVERIFY(path.startsWith(m_config.path()));
    // A folder in the file's place: the write cannot succeed, even for root.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir().mkpath(path));
    const PortalOutcome stored = store.store(QStringLiteral("N0CALL"));
    QVERIFY(!stored);
    QVERIFY2(stored.why().contains(QDir::toNativeSeparators(path)), qPrintable(stored.why()));
    QVERIFY(QDir(path).removeRecursively());
}

void PortalSpecialFilesTest::windowShowsStationIdStoreFailure()
{
    FakeStationIdStore stationId;
    stationId.refusal = QStringLiteral("/home/op/.config/telnet server.conf cannot be written");
    PortalStation station(0, 0);
    station.stationId = &stationId;
    station.start();
    auto *box = station.find<QLineEdit>("Txtstationid");
    box->setText(QStringLiteral("N0CALL"));
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(box, &out);
    QCOMPARE(stationId.stores, 1);
    QCOMPARE(station.text("Txtlogrecv").count(stationId.refusal), 1);
    QCOMPARE(box->text(), QStringLiteral("N0CALL"));
}

QTEST_MAIN(PortalSpecialFilesTest)
#include "tst_portal_specialfiles.moc"
