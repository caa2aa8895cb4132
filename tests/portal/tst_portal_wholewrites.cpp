// Every file the portal writes is written whole or reported as failed with
// the system's own reason; a write the system cuts short never passes for
// a whole one, and the file's old content stays as it was.

#include "FileSizeLimit.h"
#include "TestFiles.h"
#include "FileSoundSetting.h"
#include "FileTransferLog.h"
#include "RadioSetting.h"
#include "ReceiveFolder.h"
#include "StationList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QStringList stationEntries(int count)
{
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries << QStringLiteral("K%1XYZ - 127.0.%2.%3").arg(i).arg(i / 250).arg(i % 250 + 1);
    return entries;
}

QByteArray receivedBytes(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>(i * 7));
    return bytes;
}

// Runs one writer on the file at `path`.
PortalOutcome runWriter(const QString &writer, const QString &path)
{
    if (writer == u"sound")
        return FileSoundSetting(path).store(true);
    if (writer == u"link")
        return RadioSetting(path).storeRadio(true);
    if (writer == u"station added")
        return StationList::append(path, QString(80, u'W') + QStringLiteral(" - 127.0.0.9"));
    if (writer == u"stations rewritten")
        return StationList::rewrite(path, stationEntries(3));
    if (writer == u"many stations rewritten")
        return StationList::rewrite(path, stationEntries(2000));
    if (writer == u"transfer") {
        TransferRecord record;
        record.time = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC);
        record.direction = TransferRecord::Direction::Received;
        record.peer = QStringLiteral("127.0.0.5");
        record.file = QStringLiteral("K7X MAIL ") + QString(60, u'M') + QStringLiteral(".txt");
        record.bytes = 4711;
        record.result = TransferRecord::Result::Complete;
        return FileTransferLog(path).append(record);
    }
    if (writer == u"received") {
        ReceiveFolder folder(QFileInfo(path).absolutePath());
        if (PortalOutcome opened = folder.open(QFileInfo(path).fileName()); !opened)
            return opened;
        if (PortalOutcome appended = folder.append(receivedBytes(700)); !appended)
            return appended;
        return folder.commit();
    }
    return PortalOutcome::failure(QStringLiteral("no writer called ") + writer);
}

} // namespace

class PortalWholeWritesTest : public QObject
{
    Q_OBJECT

private slots:
    void aWriteCutShortIsNoWholeWrite_data();
    void aWriteCutShortIsNoWholeWrite();
};

void PortalWholeWritesTest::aWriteCutShortIsNoWholeWrite_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("old"); ///< the file's content before the write
    QTest::addColumn<bool>("appends"); ///< adds to the file rather than replacing it
    QTest::addColumn<QString>("partFolder"); ///< where the file is written before it is moved in; empty: none

    QTest::addRow("sound setting") << "sound" << "soundsettings.dat" << QByteArray("0\r\n") << false << "";
    QTest::addRow("link choice") << "link" << "radiomodem.ini"
                                 << QByteArray("link=ip\r\nagwhost=127.0.0.1\r\nagwport=8001\r\n") << false << "";
    QTest::addRow("station list entry added")
        << "station added" << "listitems.txt" << QByteArray("A1AA - 127.0.0.1\r\nB2BB - 127.0.0.2\r\n") << true << "";
    QTest::addRow("station list rewritten")
        << "stations rewritten" << "listitems.txt" << QByteArray("A1AA - 127.0.0.1\r\n") << false << "";
    QTest::addRow("long station list rewritten")
        << "many stations rewritten" << "listitems.txt" << QByteArray("A1AA - 127.0.0.1\r\n") << false << "";
    QTest::addRow("transfer log record") << "transfer" << "transferlog.csv"
                                         << TransferLog::headerLine() + "2026-12-06T10:00:00Z,received\r\n" << true << "";
    QTest::addRow("received file") << "received" << "K7X MAIL.txt" << QByteArray("an older file of that name\r\n")
                                   << false << ".incoming";
}

void PortalWholeWritesTest::aWriteCutShortIsNoWholeWrite()
{
    QFETCH(QString, writer);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, old);
    QFETCH(bool, appends);
    QFETCH(QString, partFolder);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("free")) && QDir(dir.path()).mkpath(QStringLiteral("limited")));

    // What the writer puts in the file when nothing stops it.
    const QString free = dir.filePath(QStringLiteral("free/") + fileName);
    QVERIFY(TestFiles::write(free, old));
    const PortalOutcome unlimited = runWriter(writer, free);
    QVERIFY2(unlimited.ok(), qPrintable(unlimited.why()));
    const QByteArray whole = TestFiles::read(free);
    QVERIFY(!appends || whole.startsWith(old));
    const QByteArray payload = appends ? whole.mid(old.size()) : whole;
    QVERIFY(payload.size() >= 2);
    // The system stops the write half way: part of it goes in, the rest is refused.
    const rlim_t limit = rlim_t((appends ? old.size() : 0) + payload.size() / 2);

    const QString path = dir.filePath(QStringLiteral("limited/") + fileName);
    QVERIFY(TestFiles::write(path, old));
    PortalOutcome written;
    QString reason; // what the system itself says to the same write
    {
        const FileSizeLimit limited(limit);
        QVERIFY(limited.isSet());
        written = runWriter(writer, path);
        reason = systemReason(dir.filePath(QStringLiteral("twin")), appends ? old : QByteArray(), payload);
    }

    QVERIFY2(!written.ok(), "a write cut short was reported as whole");
    const QString named = partFolder.isEmpty() ? path : dir.filePath(QStringLiteral("limited/%1/%2").arg(partFolder, fileName));
    QVERIFY2(written.why().contains(QDir::toNativeSeparators(named)), qPrintable(written.why()));
    QVERIFY2(written.why().endsWith(QStringLiteral(": ") + reason), qPrintable(written.why() + QStringLiteral(" / ") + reason));

    // Nothing of the cut write is left: the old content as it was, no file beside it.
    QCOMPARE(TestFiles::read(path), old);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("limited"))).entryList(QDir::Files | QDir::Hidden), QStringList{fileName});
    if (!partFolder.isEmpty())
        QVERIFY(QDir(dir.filePath(QStringLiteral("limited/") + partFolder)).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // With room again, the same write goes in whole.
    const PortalOutcome again = runWriter(writer, path);
    QVERIFY2(again.ok(), qPrintable(again.why()));
    QCOMPARE(TestFiles::read(path), whole);
}

QTEST_GUILESS_MAIN(PortalWholeWritesTest)
#include "tst_portal_wholewrites.moc"
