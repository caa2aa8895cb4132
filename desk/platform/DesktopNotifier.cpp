#include "DesktopNotifier.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPainter>
#include <QStyle>
#include <QSystemTrayIcon>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

// The tray icon: an envelope-like mark, with the count in a red badge.
QIcon badgeIcon(int count)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(255, 192, 128));
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(4, 14, 56, 40);
    painter.drawLine(4, 14, 32, 38);
    painter.drawLine(60, 14, 32, 38);
    if (count > 0) {
        painter.setBrush(Qt::red);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(28, 0, 36, 36);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(count > 99 ? 14 : 22);
        painter.setFont(font);
        painter.drawText(QRect(28, 0, 36, 36), Qt::AlignCenter,
                         count > 99 ? QStringLiteral("99+") : QString::number(count));
    }
    return QIcon(pixmap);
}

} // namespace

DesktopNotifier::DesktopNotifier(const QString &applicationName, QDBusConnection bus, QObject *parent)
    : Notifier(parent)
    , m_applicationName(applicationName)
    , m_bus(std::move(bus))
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(badgeIcon(0), this);
        m_tray->setToolTip(tr("%1: no unread messages").arg(m_applicationName));
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                emit activated();
        });
        m_tray->show();
    }
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    // Each arrival replaces the previous notice instead of stacking them.
    call << m_applicationName << m_lastId << QString() << summary << body << QStringList() << QVariantMap()
         << int(-1);
    ++m_sent;
    // Never waits: a desktop without the service answers with an error,
    // which is let go quietly.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isValid())
            m_lastId = reply.value();
        finished->deleteLater();
    });
}

void DesktopNotifier::showUnread(int count)
{
    if (!m_tray)
        return;
    m_tray->setIcon(badgeIcon(count));
    m_tray->setToolTip(count > 0 ? tr("%1: %n unread message(s)", nullptr, count).arg(m_applicationName)
                                 : tr("%1: no unread messages").arg(m_applicationName));
    m_tray->show();
}

void DesktopNotifier::hideTray()
{
    if (m_tray)
        m_tray->hide();
}
