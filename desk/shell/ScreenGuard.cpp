#include "ScreenGuard.h"

#include "Navigator.h"
#include "WindowChrome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

namespace {

const char appearedProperty[] = "tavrixAppearedMs";
const char busyProperty[] = "tavrixBusy";

// Each screen's way out, by object name; a screen missing here has none,
// so a close request on it does nothing.
const std::pair<const char *, const char *> exitButtons[] = {
    {"mainmenu", "exit"},      {"DIRCHANGE", "Command5"}, {"frsettings", "Command1"},
    {"mailform", "Command2"},  {"sendfile", "Command2"},  {"RODIRUVEREZER", "Command5"},
    {"received", "Cmdexit"},   {"inboxform", "Command2"}, {"receivefile", "Command2"},
    {"saveform", "exit"},      {"readform", "Command2"},
};

// The launcher tells operators "Do not use Enter Key": there Enter must
// neither press a button nor start a program.
const char *const enterIgnoringScreens[] = {"RODIRUVEREZER"};

// One monotonic time line for every guard, so marks stay comparable when
// more than one desk runs in a process.
qint64 monotonicMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

} // namespace

ScreenGuard::ScreenGuard(const Navigator &navigator)
    : m_navigator(navigator)
{
}

void ScreenGuard::markAppeared(QWidget *window)
{
    window->setProperty(appearedProperty, monotonicMs());
}

bool ScreenGuard::isFresh(const QWidget *window) const
{
    const QVariant appeared = window->property(appearedProperty);
    if (!appeared.isValid())
        return false;
    return monotonicMs() - appeared.toLongLong() < QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

QAbstractButton *ScreenGuard::exitButton(const QWidget *screen)
{
    for (const auto &[screenName, buttonName] : exitButtons)
        if (screen->objectName() == QLatin1String(screenName))
            return screen->findChild<QAbstractButton *>(QLatin1String(buttonName));
    return nullptr;
}

void ScreenGuard::setBusy(QWidget *screen, bool busy)
{
    screen->setProperty(busyProperty, busy);
}

bool ScreenGuard::ignoresEnter(const QWidget *screen)
{
    for (const char *name : enterIgnoringScreens)
        if (screen->objectName() == QLatin1String(name))
            return true;
    return false;
}

void ScreenGuard::takeKeyboard(QWidget *screen)
{
    screen->activateWindow();
    if (screen->focusWidget())
        return;
    if (QWidget *first = firstTabStop(screen))
        first->setFocus(Qt::TabFocusReason);
}

bool ScreenGuard::mayLeave(const QWidget *screen)
{
    // A message box or progress dialog is up: the screen's handler waits
    // inside it, and leaving now would unload the screen under its feet.
    return !screen->property(busyProperty).toBool() && !QApplication::activeModalWidget();
}

bool ScreenGuard::eventFilter(QObject *watched, QEvent *event)
{
    // Every event of the program passes here: decide on the type first.
    switch (event->type()) {
    case QEvent::Show:
        if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            markAppeared(static_cast<QWidget *>(watched));
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        // A button that never sees the press cannot be clicked by the release.
        if (auto *button = qobject_cast<QAbstractButton *>(watched); button && isFresh(button->window()))
            return true;
        return false;
    case QEvent::Close:
        if (watched->isWidgetType())
            return handleClose(static_cast<QWidget *>(watched), event);
        return false;
    case QEvent::KeyPress:
        return handleEnter(watched, event);
    case QEvent::Resize:
        // A screen that grows (a longer text shown) stays on the display.
        if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
            auto *screen = static_cast<QWidget *>(watched);
            if (screen->isVisible() && screen->screen() && m_navigator.loadedScreens().contains(screen))
                keepInside(screen, screen->screen()->availableGeometry());
        }
        return false;
    case QEvent::Hide:
        // A message box going away leaves no window active on a desktop
        // without a window manager; the screen behind it takes the keys again.
        if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()
            && !m_navigator.loadedScreens().contains(static_cast<QWidget *>(watched)))
            QTimer::singleShot(0, this, &ScreenGuard::returnKeyboardToFront);
        return false;
    default:
        return false;
    }
}

bool ScreenGuard::handleClose(QWidget *screen, QEvent *event)
{
    if (!m_navigator.loadedScreens().contains(screen))
        return false;
    // A close event arrives accepted; ignoring it keeps the window.
    event->ignore();
    // A screen loaded hidden (the received list hosting the monitor) is
    // nowhere to be left from.
    QAbstractButton *button = exitButton(screen);
    if (!button || !screen->isVisible() || !mayLeave(screen))
        return true;
    // Pressed once the close request has unwound: the exit unloads the screen.
    QTimer::singleShot(0, button, [screen, button] {
        if (screen->isVisible() && button->isEnabled() && button->isVisibleTo(screen) && mayLeave(screen))
            button->click();
    });
    return true;
}

bool ScreenGuard::handleEnter(QObject *watched, QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if (!watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    QWidget *window = widget->window();
    if (m_navigator.loadedScreens().contains(window) && ignoresEnter(window))
        return true;
    auto *button = qobject_cast<QAbstractButton *>(widget);
    // Dialogs press their own default button.
    if (!button || qobject_cast<QDialog *>(window) || !button->hasFocus())
        return false;
    // A held key presses once, as Space does.
    if (!key->isAutoRepeat() && button->isEnabled())
        button->click();
    return true;
}

void ScreenGuard::returnKeyboardToFront()
{
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return;
    QWidget *front = m_navigator.frontScreen();
    if (!front || !front->isVisible())
        return;
    if (QApplication::activeWindow() && QApplication::activeWindow() != front)
        return;
    takeKeyboard(front);
}
