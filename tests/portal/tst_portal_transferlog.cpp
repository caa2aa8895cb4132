#include "FileTransferLog.h"
#include "TestFiles.h"
#include "TestWaits.h"
#include "PortalStation.h"
#include "RawPeer.h"
#include "TransferLog.h"
#include "TransferLogDialog.h"

#include <QBuffer>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

const QString loopback = QStringLiteral("127.0.0.1");
using Result = TransferRecord::Result;
using Direction = TransferRecord::Direction;

TransferRecord sample(const QString &file, Result result = Result::Complete)
{
    TransferRecord record;
    // Milliseconds are what the log keeps.
    record.time = QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch());
    record.direction = Direction::Sent;
    record.peer = loopback;
    record.file = file;
    record.bytes = 1234;
    record.result = result;
    record.fileSize = 1234;
    record.fileModified = record.time.addSecs(-60);
    return record;
}

QByteArray logOf(const QList<TransferRecord> &records)
{
    QByteArray bytes = TransferLog::headerLine();
    for (const TransferRecord &record : records)
        bytes += TransferLog::line(record);
    return bytes;
}

TransferLog::Tail tailOf(QByteArray bytes, int count, qint64 maxBytes = TransferLog::tailBytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return TransferLog::readTail(buffer, count, maxBytes);
}

QList<TransferRecord> logged(PortalStation &station)
{
    TransferLog::Tail tail;
    if (!station.logFile->readLast(TransferLogDialog::shownEntries, &tail))
        return {};
    return tail.records;
}

/// Writes a file and stamps it with `modified`, as if it had been written then.
void writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    TestFiles::put(path, content);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class PortalTransferLogTest : public QObject
{
    Q_OBJECT

private slots:
    void recordSurvivesTheFile_data();
    void recordSurvivesTheFile();
    void fieldsAreQuotedForOtherTools();
    void damagedLinesAreSkipped_data();
    void damagedLinesAreSkipped();
    void tailKeepsTheNewest();
    void tailReadIsBounded();

    void appendStartsTheFileWithItsHeader();
    void appendAfterACutLineStartsANewLine();
    void failedAppendSaysWhy();

    void retryRefusal_data();
    void retryRefusal();

    void completeAndRefusedTransfersAreLogged();
    void receiveEndsAreLogged_data();
    void receiveEndsAreLogged();
    void dialogShowsNewestFirstAndOffersRetry();
    void unwritableLogIsSaidAndTheTransferGoesOn();

    void retrySendsTheLoggedFileToTheLoggedPeer();
    void retryOfAChangedOrMissingFileSendsNothing_data();
    void retryOfAChangedOrMissingFileSendsNothing();
    void retryWaitsForATransferInFlight();
};

void PortalTransferLogTest::recordSurvivesTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("direction");
    QTest::addRow("plain") << "MAIL - 120000.dat" << "" << int(Direction::Sent);
    QTest::addRow("comma") << "FILE,a,b.txt" << "peer reset, twice" << int(Direction::Sent);
    QTest::addRow("quotes") << "MAIL \"quoted\".dat" << "said \"no\"" << int(Direction::Received);
    QTest::addRow("outer spaces") << " MAIL .dat " << " cause " << int(Direction::Received);
    QTest::addRow("non-latin") << "FILE Straße ÿ.bin" << "ü" << int(Direction::Sent);
    QTest::addRow("lone quote") << "\"" << "\"\"" << int(Direction::Sent);
}

void PortalTransferLogTest::recordSurvivesTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, detail);
    QFETCH(int, direction);
    for (const Result result : {Result::Complete, Result::Refused, Result::BrokenOff, Result::PossiblyIncomplete}) {
        TransferRecord record = sample(file, result);
        record.direction = Direction(direction);
        record.detail = detail;
        const QByteArray line = TransferLog::line(record);
        QVERIFY(line.endsWith("\r\n"));
        QCOMPARE(line.count('\n'), 1);
        TransferRecord back;
        QVERIFY2(TransferLog::parseLine(line.chopped(2), &back), line.constData());
        QCOMPARE(back, record);
    }
}

void PortalTransferLogTest::fieldsAreQuotedForOtherTools()
{
    TransferRecord record = sample(QStringLiteral("a,\"b\".dat"));
    record.detail = QStringLiteral("first line\r\nsecond line");
    const QByteArray line = TransferLog::line(record);
    // As a spreadsheet reads it: the quoted name whole, quotes doubled, one line.
    QVERIFY2(line.contains(",\"a,\"\"b\"\".dat\","), line.constData());
    QVERIFY2(line.endsWith(",first line  second line\r\n"), line.constData());
    QStringList fields;
    QVERIFY(TransferLog::splitLine(line.chopped(2), &fields));
    QCOMPARE(fields.size(), 9);
    QCOMPARE(fields[3], QStringLiteral("a,\"b\".dat"));
    QCOMPARE(fields[5], QStringLiteral("complete"));
}

void PortalTransferLogTest::damagedLinesAreSkipped_data()
{
    QTest::addColumn<QByteArray>("damaged");
    const QByteArray good = TransferLog::line(sample(QStringLiteral("MAIL.dat"))).chopped(2);
    const QList<QByteArray> fields = good.split(',');
    auto with = [&fields](int index, const QByteArray &value) {
        QList<QByteArray> changed = fields;
        changed[index] = value;
        return changed.join(',');
    };
    QTest::addRow("unclosed quote") << QByteArray(good).replace("MAIL.dat", "\"MAIL.dat");
    QTest::addRow("text after quote") << QByteArray(good).replace("MAIL.dat", "\"MAIL\"x.dat");
    QTest::addRow("too few fields") << fields.mid(0, 8).join(',');
    QTest::addRow("too many fields") << good + ",extra";
    QTest::addRow("bad time") << with(0, "yesterday");
    QTest::addRow("bad direction") << with(1, "sideways");
    QTest::addRow("negative bytes") << with(4, "-5");
    QTest::addRow("bytes not a number") << with(4, "12x");
    QTest::addRow("unknown result") << with(5, "fine");
    QTest::addRow("bad size") << with(6, "big");
    QTest::addRow("over long") << with(8, QByteArray(TransferLog::longestLine, 'x'));
    QTest::addRow("binary") << QByteArray("\x00\x01\x02\xff,,,", 7);
}

void PortalTransferLogTest::damagedLinesAreSkipped()
{
    QFETCH(QByteArray, damaged);
    const TransferRecord before = sample(QStringLiteral("MAIL before.dat"));
    const TransferRecord after = sample(QStringLiteral("MAIL after.dat"), Result::BrokenOff);
    const QByteArray log = TransferLog::headerLine() + TransferLog::line(before) + damaged + "\r\n" +
                           TransferLog::line(after);
    const TransferLog::Tail tail = tailOf(log, 10);
    QCOMPARE(tail.damaged, 1);
    QCOMPARE(tail.records, (QList<TransferRecord>{before, after}));
}

void PortalTransferLogTest::tailKeepsTheNewest()
{
    QList<TransferRecord> records;
    for (int i = 0; i < 250; ++i) {
        TransferRecord record = sample(QStringLiteral("MAIL %1.dat").arg(i));
        record.bytes = i;
        records.append(record);
    }
    const TransferLog::Tail tail = tailOf(logOf(records), 200);
    QCOMPARE(tail.damaged, 0);
    QCOMPARE(tail.records, records.mid(50));
    // Lines with LF alone, as an editor may leave them, read the same.
    QCOMPARE(tailOf(logOf(records).replace("\r\n", "\n"), 200).records, records.mid(50));
}

void PortalTransferLogTest::tailReadIsBounded()
{
    QList<TransferRecord> records;
    for (int i = 0; i < 40; ++i)
        records.append(sample(QStringLiteral("MAIL %1.dat").arg(i)));
    // A log whose front is a megabyte of garbage without a single line end.
    const QByteArray log = QByteArray(1024 * 1024, 'g') + "\r\n" + logOf(records);
    const qint64 limit = 2000;
    const TransferLog::Tail tail = tailOf(log, 200, limit);
    const qsizetype lineSize = TransferLog::line(records.first()).size();
    // Only whole lines inside the limit: the cut one is no record and no damage.
    QCOMPARE(tail.damaged, 0);
    QVERIFY(!tail.records.isEmpty());
    QVERIFY(tail.records.size() * lineSize <= limit);
    QCOMPARE(tail.records, records.mid(records.size() - tail.records.size()));
    // Unbounded, the garbage shows as one damaged line.
    QCOMPARE(tailOf(log, 200, log.size()).damaged, 1);
}

void PortalTransferLogTest::appendStartsTheFileWithItsHeader()
{
    QTemporaryDir dir;
    // The setting folder may not exist yet: the first record makes it.
    FileTransferLog log(dir.filePath(QStringLiteral("user/portal/") + FileTransferLog::fileName()));
    const TransferRecord first = sample(QStringLiteral("MAIL 1.dat"));
    const TransferRecord second = sample(QStringLiteral("FILE 2.txt"), Result::Refused);
    QVERIFY(log.append(first).ok());
    QVERIFY(log.append(second).ok());
    QFile file(log.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), TransferLog::headerLine() + TransferLog::line(first) + TransferLog::line(second));
    TransferLog::Tail tail;
    QVERIFY(log.readLast(200, &tail).ok());
    QCOMPARE(tail.records, (QList<TransferRecord>{first, second}));
}

void PortalTransferLogTest::appendAfterACutLineStartsANewLine()
{
    QTemporaryDir dir;
    FileTransferLog log(dir.filePath(FileTransferLog::fileName()));
    const TransferRecord kept = sample(QStringLiteral("MAIL kept.dat"));
    {
        // The program stopped in the middle of writing a record.
        QFile file(log.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(logOf({kept}) + TransferLog::line(sample(QStringLiteral("MAIL cut.dat"))).left(30));
    }
    const TransferRecord next = sample(QStringLiteral("MAIL next.dat"));
    QVERIFY(log.append(next).ok());
    TransferLog::Tail tail;
    QVERIFY(log.readLast(200, &tail).ok());
    QCOMPARE(tail.records, (QList<TransferRecord>{kept, next}));
    QCOMPARE(tail.damaged, 1);
}

void PortalTransferLogTest::failedAppendSaysWhy()
{
    QTemporaryDir dir;
    // A folder where the log should be: it cannot be opened as a file.
    const QString path = dir.filePath(FileTransferLog::fileName());
    QVERIFY(QDir().mkpath(path));
    FileTransferLog blocked(path);
    const PortalOutcome failed = blocked.append(sample(QStringLiteral("MAIL.dat")));
    QVERIFY(!failed.ok());
    QVERIFY2(failed.why().contains(QDir::toNativeSeparators(path)), qPrintable(failed.why()));
    TransferLog::Tail tail;
    QVERIFY(!blocked.readLast(200, &tail).ok());
    QVERIFY(tail.records.isEmpty());

    // A full disk shows only when the bytes leave the buffer.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        FileTransferLog full(QStringLiteral("/dev/full"));
        const PortalOutcome noRoom = full.append(sample(QStringLiteral("MAIL.dat")));
        QVERIFY(!noRoom.ok());
        QVERIFY2(noRoom.why().contains(QStringLiteral("/dev/full")), qPrintable(noRoom.why()));
    }
}

void PortalTransferLogTest::retryRefusal_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("words"); ///< empty: the retry may go
    QTest::addRow("unchanged") << "none" << "";
    QTest::addRow("gone") << "remove" << "no longer in the outbox";
    QTest::addRow("grown") << "append" << "has changed since it was sent";
    QTest::addRow("same size, newer") << "touch" << "has changed since it was sent";
    QTest::addRow("a folder now") << "folder" << "no longer a file";
    QTest::addRow("received, not sent") << "received" << "only a send can be retried";
    QTest::addRow("name with a path") << "path" << "names no outbox file";
    QTest::addRow("version unknown") << "unstamped" << "which version";
}

void PortalTransferLogTest::retryRefusal()
{
    QFETCH(QString, change);
    QFETCH(QString, words);
    QTemporaryDir outbox;
    const QString path = outbox.filePath(QStringLiteral("MAIL - 1.dat"));
    const QDateTime modified = QDateTime::currentDateTime().addSecs(-3600);
    writeFile(path, "MAIL content\r\n", modified);
    TransferRecord record = sample(QStringLiteral("MAIL - 1.dat"), Result::BrokenOff);
    record.fileSize = QFileInfo(path).size();
    record.fileModified = QFileInfo(path).lastModified();

    if (change == u"remove") {
        QVERIFY(QFile::remove(path));
    } else if (change == u"append") {
        writeFile(path, "MAIL content\r\nmore\r\n", modified);
    } else if (change == u"touch") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified.addSecs(5), QFileDevice::FileModificationTime));
    } else if (change == u"folder") {
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
    } else if (change == u"received") {
        record.direction = Direction::Received;
    } else if (change == u"path") {
        record.file = QStringLiteral("../MAIL - 1.dat");
    } else if (change == u"unstamped") {
        record.fileSize = -1;
    }
    const QString refusal = TransferLog::retryRefusal(outbox.path(), record);
    if (words.isEmpty())
        QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    else
        QVERIFY2(refusal.contains(words), qPrintable(refusal));
}

void PortalTransferLogTest::completeAndRefusedTransfersAreLogged()
{
    const quint16 portA = freePort();
    const quint16 portB = freePort();
    PortalStation a(portA, portB);
    PortalStation b(portB, portA);
    a.start();
    b.start();
    a.prompter.answer = true; // send a name the other station will not keep

    const QByteArray mail = "MAIL record one\r\n";
    a.putInOutbox(QStringLiteral("MAIL - 1.dat"), mail);
    a.sendTo(loopback);
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 1, TestWaits::settleMs);
    QTRY_COMPARE_WITH_TIMEOUT(logged(b).size(), 1, TestWaits::settleMs);
    const TransferRecord sent = logged(a).first();
    QCOMPARE(sent.direction, Direction::Sent);
    QCOMPARE(sent.file, QStringLiteral("MAIL - 1.dat"));
    QCOMPARE(sent.bytes, mail.size());
    QCOMPARE(sent.result, Result::Complete);
    QCOMPARE(sent.peer, loopback);
    QCOMPARE(sent.fileSize, mail.size());
    QVERIFY(!sent.retryable());
    const TransferRecord received = logged(b).first();
    QCOMPARE(received.direction, Direction::Received);
    QCOMPARE(received.file, QStringLiteral("MAIL - 1.dat"));
    QCOMPARE(received.bytes, b.received(QStringLiteral("MAIL - 1.dat")).size());
    QCOMPARE(received.result, Result::Complete);
    QCOMPARE(received.peer, loopback);

    // The receiver refuses a name it would not keep; the sender learns it was not kept.
    a.putInOutbox(QStringLiteral("notes, \"draft\".txt"), "text\r\n", -5);
    a.sendTo(loopback);
    QTRY_COMPARE_WITH_TIMEOUT(logged(b).size(), 2, TestWaits::settleMs);
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 2, TestWaits::settleMs);
    const TransferRecord refused = logged(b).last();
    QCOMPARE(refused.file, QStringLiteral("notes, \"draft\".txt"));
    QCOMPARE(refused.result, Result::Refused);
    QCOMPARE(refused.bytes, 0);
    QVERIFY(b.text("Txtlogrecv").contains(refused.detail));
    const TransferRecord notKept = logged(a).last();
    QCOMPARE(notKept.file, refused.file);
    QVERIFY2(notKept.result != Result::Complete, qPrintable(notKept.detail));
    QVERIFY(notKept.retryable());
}

void PortalTransferLogTest::receiveEndsAreLogged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("resetAtEnd");
    QTest::addColumn<int>("result");
    QTest::addRow("whole message") << QByteArray("MAIL text\r\n") << false << int(Result::Complete);
    QTest::addRow("no closing line end") << QByteArray("MAIL te") << false << int(Result::PossiblyIncomplete);
    QTest::addRow("reset mid-way") << QByteArray("MAIL text\r\n") << true << int(Result::BrokenOff);
}

void PortalTransferLogTest::receiveEndsAreLogged()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, resetAtEnd);
    QFETCH(int, result);
    PortalStation station(0, freePort());
    station.start();
    RawPeer peer(station.link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("MAIL:MAIL raw.dat\r\n" + content));
    QTRY_VERIFY_WITH_TIMEOUT(station.link().transferInProgress(), TestWaits::settleMs);
    if (resetAtEnd)
        peer.reset();
    else
        peer.finish();
    QTRY_COMPARE_WITH_TIMEOUT(logged(station).size(), 1, TestWaits::settleMs);
    const TransferRecord record = logged(station).first();
    QCOMPARE(int(record.result), result);
    QCOMPARE(record.direction, Direction::Received);
    QCOMPARE(record.file, QStringLiteral("MAIL raw.dat"));
    QCOMPARE(record.peer, loopback);
    // The bytes are those the status line reports, and those on disk when kept.
    QCOMPARE(record.bytes, content.size());
    if (record.result != Result::BrokenOff)
        QCOMPARE(station.received(QStringLiteral("MAIL raw.dat")), content);
    QVERIFY(!record.retryable());
}

void PortalTransferLogTest::dialogShowsNewestFirstAndOffersRetry()
{
    PortalStation station(0, freePort());
    station.start();
    QList<TransferRecord> records;
    for (int i = 0; i < 205; ++i) {
        TransferRecord record = sample(QStringLiteral("MAIL %1.dat").arg(i), i % 2 ? Result::BrokenOff : Result::Complete);
        record.time = record.time.addSecs(i);
        records.append(record);
        QVERIFY(station.logFile->append(record).ok());
    }
    TransferRecord incoming = sample(QStringLiteral("MAIL in.dat"), Result::BrokenOff);
    incoming.direction = Direction::Received;
    QVERIFY(station.logFile->append(incoming).ok());
    records.append(incoming);

    station.click("Cmdtransferlog");
    TransferLogDialog *dialog = station.window->transferLogDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("transferTable"));
    QCOMPARE(table->rowCount(), TransferLogDialog::shownEntries);
    QCOMPARE(table->item(0, TransferLogDialog::File)->text(), QStringLiteral("MAIL in.dat"));
    QCOMPARE(table->item(0, TransferLogDialog::Direction)->text(), QStringLiteral("received"));
    QCOMPARE(table->item(1, TransferLogDialog::File)->text(), QStringLiteral("MAIL 204.dat"));
    QCOMPARE(table->item(1, TransferLogDialog::Result)->text(), QStringLiteral("complete"));
    QCOMPARE(table->item(2, TransferLogDialog::Result)->text(), QStringLiteral("broken off"));
    QCOMPARE(table->item(199, TransferLogDialog::File)->text(), QStringLiteral("MAIL 6.dat"));
    // Only sends that did not complete can be retried.
    QVERIFY(!table->cellWidget(0, TransferLogDialog::Retry)); // received
    QVERIFY(!table->cellWidget(1, TransferLogDialog::Retry)); // complete
    QVERIFY(qobject_cast<QPushButton *>(table->cellWidget(2, TransferLogDialog::Retry)));
    QCOMPARE(dialog->shown().first(), incoming);

    // A retry asks for the record of its row, whatever the rows did since.
    QList<TransferRecord> asked;
    connect(dialog, &TransferLogDialog::retryRequested, this, [&asked](const TransferRecord &r) { asked.append(r); });
    const QString chosen = station.window->transferLogDialog()->shown().at(2).file;
    qobject_cast<QPushButton *>(table->cellWidget(2, TransferLogDialog::Retry))->click();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().file, chosen);
    // The file is not in the outbox: the retry says so and sends nothing.
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("transferLogStatus"));
    QVERIFY2(status->text().contains(QStringLiteral("no longer in the outbox")), qPrintable(status->text()));
    QCOMPARE(station.link().sendMode(), DataLink::SendMode::Idle);
}

void PortalTransferLogTest::unwritableLogIsSaidAndTheTransferGoesOn()
{
    FakeTransferLog log;
    log.failure = QStringLiteral("/somewhere/transferlog.csv: No space left on device");
    PortalStation station(0, freePort());
    station.transferLog = &log;
    station.start();
    RawPeer peer(station.link().listenPort());
    QVERIFY(peer.connected);
    QVERIFY(peer.send("MAIL:MAIL - kept.dat\r\nMAIL text\r\n"));
    peer.finish();
    QTRY_VERIFY_WITH_TIMEOUT(station.text("Txtlogrecv").contains(log.failure), TestWaits::settleMs);
    QVERIFY(station.text("Txtlogrecv").contains(QStringLiteral("transfer log could not be written")));
    QCOMPARE(station.received(QStringLiteral("MAIL - kept.dat")), QByteArray("MAIL text\r\n"));

    // The table says why it is empty.
    station.click("Cmdtransferlog");
    TransferLogDialog *dialog = station.window->transferLogDialog();
    QCOMPARE(dialog->findChild<QTableWidget *>(QStringLiteral("transferTable"))->rowCount(), 0);
    const QString said = dialog->findChild<QLabel *>(QStringLiteral("transferLogStatus"))->text();
    QVERIFY2(said.contains(log.failure), qPrintable(said));

    // Written again once the cause is gone, one entry for the next transfer.
    log.failure.clear();
    RawPeer next(station.link().listenPort());
    QVERIFY(next.connected);
    QVERIFY(next.send("MAIL:MAIL - next.dat\r\nMAIL more\r\n"));
    next.finish();
    QTRY_COMPARE_WITH_TIMEOUT(log.records.size(), 1, TestWaits::settleMs);
    QCOMPARE(log.records.first().file, QStringLiteral("MAIL - next.dat"));
    // The open table follows.
    TRY_COMPARE(dialog->findChild<QTableWidget *>(QStringLiteral("transferTable"))->rowCount(), 1);
}

void PortalTransferLogTest::retrySendsTheLoggedFileToTheLoggedPeer()
{
    const quint16 portB = freePort();
    PortalStation a(0, portB);
    a.start();
    const QByteArray content = "MAIL the one that failed\r\n";
    a.putInOutbox(QStringLiteral("MAIL - old.dat"), content, 120);
    // Nobody answers yet: the station turns the call away.
    a.sendTo(loopback);
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 1, TestWaits::settleMs);
    const TransferRecord failed = logged(a).first();
    QCOMPARE(failed.result, Result::Refused);
    QCOMPARE(failed.bytes, 0);
    QVERIFY(failed.retryable());

    // A newer file in the outbox must not be what the retry sends.
    a.putInOutbox(QStringLiteral("MAIL - newer.dat"), "MAIL newer\r\n");
    PortalStation b(portB, 0);
    b.start();
    // Another address in the box must not be where the retry goes either.
    a.find<QLineEdit>("Txtremoteip")->setText(QStringLiteral("127.0.0.2"));
    a.click("Cmdtransferlog");
    auto *table = a.window->transferLogDialog()->findChild<QTableWidget *>(QStringLiteral("transferTable"));
    QCOMPARE(table->rowCount(), 1);
    qobject_cast<QPushButton *>(table->cellWidget(0, TransferLogDialog::Retry))->click();
    QTRY_COMPARE_WITH_TIMEOUT(logged(b).size(), 1, TestWaits::settleMs);
    QCOMPARE(b.received(QStringLiteral("MAIL - old.dat")), content);
    QVERIFY(!QFile::exists(QDir(b.setup.receiveDirectory).filePath(QStringLiteral("MAIL - newer.dat"))));
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 2, TestWaits::settleMs);
    QCOMPARE(logged(a).last().result, Result::Complete);
    QCOMPARE(logged(a).last().file, failed.file);
    // The table follows the log while it is open.
    TRY_COMPARE(table->rowCount(), 2);
    QVERIFY(!table->cellWidget(0, TransferLogDialog::Retry));
}

void PortalTransferLogTest::retryOfAChangedOrMissingFileSendsNothing_data()
{
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QString>("words");
    QTest::addRow("changed") << false << "has changed since it was sent";
    QTest::addRow("removed") << true << "no longer in the outbox";
}

void PortalTransferLogTest::retryOfAChangedOrMissingFileSendsNothing()
{
    QFETCH(bool, remove);
    QFETCH(QString, words);
    const quint16 portB = freePort();
    PortalStation a(0, portB);
    a.start();
    a.putInOutbox(QStringLiteral("MAIL - 1.dat"), "MAIL first\r\n", 60);
    a.sendTo(loopback);
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 1, TestWaits::settleMs);
    const QString path = QDir(a.setup.sendDirectory).filePath(QStringLiteral("MAIL - 1.dat"));
    if (remove)
        QVERIFY(QFile::remove(path));
    else
        a.putInOutbox(QStringLiteral("MAIL - 1.dat"), "MAIL edited since\r\n", 60);

    PortalStation b(portB, 0);
    b.start();
    a.click("Cmdtransferlog");
    auto *table = a.window->transferLogDialog()->findChild<QTableWidget *>(QStringLiteral("transferTable"));
    qobject_cast<QPushButton *>(table->cellWidget(0, TransferLogDialog::Retry))->click();
    const QString said = a.window->transferLogDialog()->findChild<QLabel *>(QStringLiteral("transferLogStatus"))->text();
    QVERIFY2(said.contains(words), qPrintable(said));
    QVERIFY2(a.text("Txtlogsend").contains(words), qPrintable(a.text("Txtlogsend")));
    QTest::qWait(300);
    QCOMPARE(b.text("Txtlogrecv").contains(QStringLiteral("ConnectionRequest")), false);
    QCOMPARE(logged(a).size(), 1);
    QCOMPARE(logged(b).size(), 0);
}

void PortalTransferLogTest::retryWaitsForATransferInFlight()
{
    const quint16 portB = freePort();
    PortalStation a(0, portB);
    a.start();
    a.putInOutbox(QStringLiteral("MAIL - 1.dat"), "MAIL first\r\n", 60);
    a.sendTo(loopback);
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 1, TestWaits::settleMs);
    const TransferRecord failed = logged(a).first();

    // A file comes in and is not finished yet.
    RawPeer incoming(a.link().listenPort());
    QVERIFY(incoming.connected);
    QVERIFY(incoming.send("MAIL:MAIL - in.dat\r\nMAIL half"));
    QTRY_VERIFY_WITH_TIMEOUT(a.link().transferInProgress(), TestWaits::settleMs);
    PortalStation b(portB, 0);
    b.start();
    PortalOutcome retried = a.link().retrySend(failed);
    QVERIFY(!retried.ok());
    QVERIFY2(retried.why().contains(QStringLiteral("being received")), qPrintable(retried.why()));
    // The incoming transfer goes on untouched.
    QVERIFY(a.link().transferInProgress());
    QVERIFY(incoming.send(" and the rest\r\n"));
    incoming.finish();
    QTRY_COMPARE_WITH_TIMEOUT(logged(a).size(), 2, TestWaits::settleMs);
    QCOMPARE(logged(a).last().result, Result::Complete);
    QCOMPARE(a.received(QStringLiteral("MAIL - in.dat")), QByteArray("MAIL half and the rest\r\n"));

    // A send of its own still waiting for the other station's answer holds the retry back too.
    // The silent station's kernel takes the call and the bytes; nobody reads or closes.
    const quint16 silentPort = freePort();
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(silentPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(silent, 4), 0);
    PortalStation c(0, silentPort);
    c.start();
    c.putInOutbox(QStringLiteral("MAIL - 2.dat"), "MAIL second\r\n", 30);
    c.sendTo(loopback);
    QTRY_VERIFY_WITH_TIMEOUT(c.text("Txtlogsend").contains(QStringLiteral("bytes handed to")), TestWaits::settleMs);
    QTest::qWait(50);
    QVERIFY(c.link().sendBusy());
    TransferRecord earlier = failed;
    earlier.file = QStringLiteral("MAIL - 2.dat");
    QFileInfo info(QDir(c.setup.sendDirectory).filePath(earlier.file));
    earlier.fileSize = info.size();
    earlier.fileModified = info.lastModified();
    retried = c.link().retrySend(earlier);
    QVERIFY(!retried.ok());
    QVERIFY2(retried.why().contains(QStringLiteral("in flight")), qPrintable(retried.why()));
    // The silent station goes away: the call is reset, the send was not kept.
    ::close(silent);
    QTRY_COMPARE_WITH_TIMEOUT(logged(c).size(), 1, TestWaits::settleMs);
    QCOMPARE(logged(c).first().result, Result::Refused);
    QVERIFY(!c.link().sendBusy());

    // Once everything has ended, the same retry goes.
    QTRY_VERIFY_WITH_TIMEOUT(!a.link().sendBusy(), TestWaits::settleMs);
    retried = a.link().retrySend(failed);
    QVERIFY2(retried.ok(), qPrintable(retried.why()));
    QTRY_COMPARE_WITH_TIMEOUT(b.received(QStringLiteral("MAIL - 1.dat")), QByteArray("MAIL first\r\n"), TestWaits::settleMs);
}

PORTAL_TEST_MAIN(PortalTransferLogTest)

#include "tst_portal_transferlog.moc"
