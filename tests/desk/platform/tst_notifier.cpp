// Desktop notifications against a real session bus, where a tiny
// notification service of this test's own takes the calls; and a desk
// without any bus that goes on quietly.
#include "platform/DesktopNotifier.h"
#include "TestWaits.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QtTest>

namespace {

/// Answers Notify as a desktop's notification service would.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString application;
        uint replaces;
        QString summary;
        QString body;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &application, uint replaces, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        calls.append({application, replaces, summary, body});
        return 40 + uint(calls.size());
    }
};

bool busAddressIsReal()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    return !address.isEmpty() && !address.contains("nonexistent");
}

} // namespace

class TestNotifier : public QObject
{
    Q_OBJECT

private slots:
    void withoutABusNothingIsSent()
    {
        if (busAddressIsReal())
            QSKIP("a session bus is present; the test that runs without one covers this");
        DesktopNotifier notifier(QStringLiteral("VARUVO DARE1"));
        QElapsedTimer timer;
        timer.start();
        notifier.notify(QStringLiteral("A Message Has Arrived"), QStringLiteral("MAIL - a.dat"));
        notifier.showUnread(3);
        QCOMPARE(notifier.sent(), 0);
        QVERIFY(timer.elapsed() < 1000); // never waits for a bus that is not there
    }

    void aNotificationReachesTheService()
    {
        if (!busAddressIsReal())
            QSKIP("no session bus (run under dbus-run-session)");
        QDBusConnection serviceBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        QVERIFY2(serviceBus.isConnected(), qPrintable(serviceBus.lastError().message()));
        NotificationService service;
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

        DesktopNotifier notifier(QStringLiteral("VARUVO DARE1"));
        notifier.notify(QStringLiteral("A Message Has Arrived (1 unread)"), QStringLiteral("MAIL - a.dat"));
        TRY_COMPARE(service.calls.size(), 1);
        QCOMPARE(service.calls.first().application, QStringLiteral("VARUVO DARE1"));
        QCOMPARE(service.calls.first().replaces, 0u);
        QCOMPARE(service.calls.first().summary, QStringLiteral("A Message Has Arrived (1 unread)"));
        QCOMPARE(service.calls.first().body, QStringLiteral("MAIL - a.dat"));
        // The next arrival replaces the notice the service answered with,
        // once that answer is back (the call's watcher is gone then).
        TRY_VERIFY(notifier.findChildren<QDBusPendingCallWatcher *>().isEmpty());
        notifier.notify(QStringLiteral("A Message Has Arrived (2 unread)"), QStringLiteral("MAIL - b.dat"));
        TRY_COMPARE(service.calls.size(), 2);
        QCOMPARE(service.calls.last().replaces, 41u);
        QCOMPARE(notifier.sent(), 2);

        serviceBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }

    void aBusWithoutTheServiceIsLetGo()
    {
        if (!busAddressIsReal())
            QSKIP("no session bus (run under dbus-run-session)");
        DesktopNotifier notifier(QStringLiteral("VARUVO DARE1"));
        QElapsedTimer timer;
        timer.start();
        notifier.notify(QStringLiteral("A Message Has Arrived"), QString());
        QVERIFY(timer.elapsed() < 1000);
        QTest::qWait(200); // the error answer comes and goes without a word
        QCOMPARE(notifier.sent(), 1);
    }
};

QTEST_MAIN(TestNotifier)
#include "tst_notifier.moc"
