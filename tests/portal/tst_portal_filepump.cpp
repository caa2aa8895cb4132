#include "FilePump.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A connection that holds what it was given until the test drains it.
class SlowConnection : public QIODevice
{
public:
    QByteArray delivered;
    QByteArray waiting;
    qint64 mostWaiting = 0;

    SlowConnection() { open(QIODevice::WriteOnly); }
    qint64 bytesToWrite() const override { return waiting.size(); }
    void drain(qint64 bytes)
    {
        delivered += waiting.left(bytes);
        waiting.remove(0, qMin(bytes, qint64(waiting.size())));
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        waiting.append(data, size);
        mostWaiting = qMax(mostWaiting, qint64(waiting.size()));
        return size;
    }
};

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

class PortalFilePumpTest : public QObject
{
    Q_OBJECT

private slots:
    void wholeFileInOrder_data();
    void wholeFileInOrder();
    void headerIsNotCounted_data();
    void headerIsNotCounted();
    void missingFileSaysWhy();
};

void PortalFilePumpTest::wholeFileInOrder_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("drainStep");
    QTest::addRow("one byte") << qint64(1) << qint64(1);
    QTest::addRow("exactly one chunk") << FilePump::chunkSize << qint64(1000);
    QTest::addRow("many chunks and a tail, slow drain") << FilePump::chunkSize * 9 + 7 << qint64(4096);
    QTest::addRow("many chunks, fast drain") << FilePump::highWater * 3 + 1 << FilePump::highWater;
}

void PortalFilePumpTest::wholeFileInOrder()
{
    QFETCH(qint64, size);
    QFETCH(qint64, drainStep);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("MAIL - 1.dat"));
    const QByteArray content = pattern(size);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), size);
    }
    FilePump pump;
    QVERIFY(pump.open(path).ok());
    QCOMPARE(pump.size(), size);
    SlowConnection connection;
    int rounds = 0;
    do {
        QVERIFY(pump.fill(connection).ok());
        connection.drain(drainStep);
        QVERIFY(++rounds < 100000);
    } while (pump.reading());
    connection.drain(connection.waiting.size());
    QCOMPARE(connection.delivered, content);
    // The file is read as the connection drains, never all at once.
    QVERIFY2(connection.mostWaiting < FilePump::highWater + FilePump::chunkSize,
             qPrintable(QString::number(connection.mostWaiting)));
}

void PortalFilePumpTest::headerIsNotCounted_data()
{
    QTest::addColumn<qint64>("header");
    QTest::addColumn<QList<qint64>>("taken");
    QTest::addColumn<qint64>("sent");
    QTest::addRow("header in one piece") << qint64(20) << QList<qint64>{20, 100} << qint64(100);
    QTest::addRow("header split, content in the same piece") << qint64(20) << QList<qint64>{5, 30} << qint64(15);
    QTest::addRow("header and content in one piece") << qint64(20) << QList<qint64>{50} << qint64(30);
    QTest::addRow("nothing taken yet") << qint64(20) << QList<qint64>{} << qint64(0);
}

void PortalFilePumpTest::headerIsNotCounted()
{
    QFETCH(qint64, header);
    QFETCH(QList<qint64>, taken);
    QFETCH(qint64, sent);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("File - 2.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(200, 'c'));
    }
    FilePump pump;
    QVERIFY(pump.open(path).ok());
    pump.start(header);
    for (const qint64 bytes : taken)
        pump.taken(bytes);
    QCOMPARE(pump.sent(), sent);
    // A second send counts from nothing again.
    pump.start(header);
    QCOMPARE(pump.sent(), 0);
}

void PortalFilePumpTest::missingFileSaysWhy()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("gone/MAIL - 3.dat"));
    FilePump pump;
    const PortalOutcome opened = pump.open(path);
    QVERIFY(!opened.ok());
    QFile same(path);
    QVERIFY(!same.open(QIODevice::ReadOnly));
    QVERIFY2(opened.why().contains(same.errorString()), qPrintable(opened.why()));
    QVERIFY2(opened.why().contains(QDir::toNativeSeparators(path)), qPrintable(opened.why()));
    QVERIFY(!pump.reading());
    SlowConnection connection;
    QVERIFY(pump.fill(connection).ok());
    QCOMPARE(connection.waiting, QByteArray());
}

QTEST_GUILESS_MAIN(PortalFilePumpTest)
#include "tst_portal_filepump.moc"
