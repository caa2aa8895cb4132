#include "CallQueue.h"
#include "OutgoingSend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isOpen(int descriptor)
{
    return ::fcntl(descriptor, F_GETFD) != -1;
}

// One end of a connected pair stands for an accepted call; the other end is closed at once.
int callDescriptor()
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return -1;
    ::close(pair[1]);
    return pair[0];
}

} // namespace

class PortalLinkPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void callsAreServedInTurnWithTheirNames();
    void queueTurnsAwayPastItsLimit();
    void waitingCallsCloseWithTheQueue();
    void outboxRefusal_data();
    void outboxRefusal();
    void retrySendsOnlyTheVersionItWasAskedFor_data();
    void retrySendsOnlyTheVersionItWasAskedFor();
};

void PortalLinkPartsTest::callsAreServedInTurnWithTheirNames()
{
    CallQueue queue;
    const int first = callDescriptor();
    const int second = callDescriptor();
    const int third = callDescriptor();
    queue.name(second, QStringLiteral("N0BBB"));
    QVERIFY(queue.admit(first));
    QVERIFY(queue.admit(second));
    QVERIFY(queue.admit(third));
    QCOMPARE(queue.size(), 3);
    QList<CallQueue::Call> served;
    while (const std::optional<CallQueue::Call> call = queue.next())
        served.append(*call);
    QCOMPARE(served.size(), 3);
    QCOMPARE(served.at(0).descriptor, first);
    QCOMPARE(served.at(1).descriptor, second);
    QCOMPARE(served.at(2).descriptor, third);
    QCOMPARE(served.at(0).label, QString());
    QCOMPARE(served.at(1).label, QStringLiteral("N0BBB"));
    QCOMPARE(served.at(2).label, QString());
    // Served calls are the data link's now: the queue closes none of them.
    for (const CallQueue::Call &call : served) {
        QVERIFY(isOpen(int(call.descriptor)));
        ::close(int(call.descriptor));
    }
}

void PortalLinkPartsTest::queueTurnsAwayPastItsLimit()
{
    CallQueue queue;
    QList<int> admitted;
    for (int i = 0; i < CallQueue::hardLimit; ++i) {
        admitted.append(callDescriptor());
        QVERIFY(queue.admit(admitted.last()));
    }
    const int extra = callDescriptor();
    queue.name(extra, QStringLiteral("N0CCC"));
    QVERIFY(!queue.admit(extra));
    QVERIFY(!isOpen(extra));
    QCOMPARE(queue.size(), CallQueue::hardLimit);

    // A later call on the number the turned-away one had carries no name of it.
    const std::optional<CallQueue::Call> first = queue.next();
    QVERIFY(first);
    ::close(int(first->descriptor));
    const int later = callDescriptor();
    QVERIFY(queue.admit(later));
    while (const std::optional<CallQueue::Call> call = queue.next()) {
        QCOMPARE(call->label, QString());
        ::close(int(call->descriptor));
    }
}

void PortalLinkPartsTest::waitingCallsCloseWithTheQueue()
{
    QList<int> waiting;
    {
        CallQueue queue;
        for (int i = 0; i < 3; ++i) {
            waiting.append(callDescriptor());
            QVERIFY(queue.admit(waiting.last()));
        }
    }
    for (const int descriptor : std::as_const(waiting))
        QVERIFY(!isOpen(descriptor));
}

void PortalLinkPartsTest::outboxRefusal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<int>("answer"); // -1: nobody to ask, 0: No, 1: Yes
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("asked");
    QTest::addRow("mail file") << "MAIL - N0BBB.dat" << QByteArray("x\r\n") << false << -1 << "" << 0;
    QTest::addRow("line end in the name") << "MAIL\r\nx.dat" << QByteArray("x\r\n") << false << 1
                                          << "holds a control character" << 0;
    QTest::addRow("empty file") << "FILE one.txt" << QByteArray() << false << 1 << "[SEND INIT ERR 62" << 0;
    QTest::addRow("fifo") << "MAIL - fifo.dat" << QByteArray() << true << 1 << "not a regular file" << 0;
    QTest::addRow("other name, Yes") << "notes.txt" << QByteArray("x") << false << 1 << "" << 1;
    QTest::addRow("other name, No") << "notes.txt" << QByteArray("x") << false << 0 << "does not begin with" << 1;
    QTest::addRow("other name, nobody to ask") << "notes.txt" << QByteArray("x") << false << -1
                                               << "does not begin with" << 0;
    QTest::addRow("other name, empty: not asked") << "notes.txt" << QByteArray() << false << 1 << "[SEND INIT ERR 62"
                                                  << 0;
}

void PortalLinkPartsTest::outboxRefusal()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, fifo);
    QFETCH(int, answer);
    QFETCH(QString, refusal);
    QFETCH(int, asked);
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(name);
    if (fifo) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    int questions = 0;
    OutgoingSend::Confirm confirm;
    if (answer >= 0) {
        confirm = [&](const QString &question) {
            ++questions;
            return question.contains(name) && answer == 1;
        };
    }
    const QString said = OutgoingSend::refusal(folder.path(), name, confirm);
    if (refusal.isEmpty())
        QCOMPARE(said, QString());
    else
        QVERIFY2(said.contains(refusal), qPrintable(said));
    QCOMPARE(questions, asked);
}

void PortalLinkPartsTest::retrySendsOnlyTheVersionItWasAskedFor_data()
{
    QTest::addColumn<bool>("retry");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<OutgoingSend::Opening>("opening");
    QTest::addRow("first send") << false << true << OutgoingSend::Opening::Opened;
    QTest::addRow("retry, same file") << true << false << OutgoingSend::Opening::Opened;
    QTest::addRow("retry, file changed") << true << true << OutgoingSend::Opening::Changed;
}

void PortalLinkPartsTest::retrySendsOnlyTheVersionItWasAskedFor()
{
    QFETCH(bool, retry);
    QFETCH(bool, changed);
    QFETCH(OutgoingSend::Opening, opening);
    QTemporaryDir folder;
    const QString name = QStringLiteral("MAIL - N0BBB.dat");
    const QString path = QDir(folder.path()).filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("first version\r\n");
    file.close();

    OutgoingSend send;
    send.setName(name);
    TransferRecord earlier;
    send.begin(QStringLiteral("10.0.0.9"), path, nullptr);
    earlier = send.record(TransferRecord::Result::BrokenOff, QStringLiteral("reset"), false);
    if (changed) {
        QVERIFY(file.open(QIODevice::Append));
        file.write("a longer second version\r\n");
        file.close();
    }
    send.begin(QStringLiteral("10.0.0.9"), path, retry ? &earlier : nullptr);
    QString why;
    QCOMPARE(send.open(path, why), opening);
    QCOMPARE(send.pump().reading(), opening == OutgoingSend::Opening::Opened);
    if (opening == OutgoingSend::Opening::Opened)
        QCOMPARE(send.outgoing().fileSize, QFileInfo(path).size());
}

QTEST_GUILESS_MAIN(PortalLinkPartsTest)
#include "tst_portal_linkparts.moc"
