#include "Navigator.h"

#include "ScreenGuard.h"
#include "WindowChrome.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

Navigator::Navigator() = default;

void Navigator::setContext(DeskContext &context)
{
    m_context = &context;
    if (m_guard)
        return;
    m_guard = std::make_unique<ScreenGuard>(*this);
    qApp->installEventFilter(m_guard.get());
    // Windows come and go as screens load and unload; the program ends only
    // through the entry form's quit.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

Navigator::~Navigator()
{
    m_guard.reset();
    for (auto &[type, screen] : m_screens)
        delete screen.data();
}

void Navigator::show(QWidget *screen)
{
    // A screen opens in the middle of the display the first time it shows.
    const QScreen *display = QGuiApplication::primaryScreen();
    if (!screen->isVisible() && !screen->property("placed").toBool()) {
        if (display)
            fitOnDisplay(screen, display->availableGeometry());
        screen->setProperty("placed", true);
    }
    screen->show();
    if (display)
        keepInside(screen, display->availableGeometry());
    screen->raise();
    ScreenGuard::takeKeyboard(screen);
    // Brought to the front counts as appearing, even when it was visible.
    if (m_guard)
        m_guard->markAppeared(screen);
    m_lastShown = screen;
}

QWidget *Navigator::frontScreen() const
{
    if (m_lastShown && m_lastShown->isVisible())
        return m_lastShown;
    for (const auto &[type, screen] : m_screens)
        if (screen && screen->isVisible())
            return screen;
    return nullptr;
}

QList<QWidget *> Navigator::loadedScreens() const
{
    QList<QWidget *> screens;
    for (const auto &[type, screen] : m_screens)
        if (screen)
            screens << screen.data();
    return screens;
}

void Navigator::release(std::type_index type)
{
    const auto found = m_screens.find(type);
    if (found == m_screens.end())
        return;
    QPointer<QWidget> screen = found->second;
    m_screens.erase(found);
    if (!screen)
        return;
    // The caller may be one of this screen's own handlers: take it off the
    // screen and silence its timers now, delete it once the handler is done.
    screen->hide();
    for (QTimer *timer : screen->findChildren<QTimer *>())
        timer->stop();
    screen->deleteLater();
}
