#pragma once

#include <QObject>

class Navigator;
class QAbstractButton;
class QWidget;

/// Watches the input of every window on behalf of the navigator, so that no
/// screen can be driven by accident:
///
/// - a mouse click on a button of a window that appeared less than the
///   platform's double-click interval ago is dropped: the second click of a
///   double-click that opened the window never presses what lies under the
///   pointer;
/// - a close request (window manager, QWidget::close) on a loaded screen
///   never closes it: the screen's exit button is pressed instead, or, on a
///   screen without one, nothing happens. Only the entry form's quit ends
///   the program;
/// - Return and Enter press the focused button as Space does, except on a
///   screen whose text tells the operator not to use Enter: there they do
///   nothing at all;
/// - when a message box or other passing window closes, the screen in front
///   gets the keyboard back, so its Alt shortcuts work without a click.
class ScreenGuard : public QObject
{
    Q_OBJECT
public:
    explicit ScreenGuard(const Navigator &navigator);

    /// Counts the window as appearing now (shown or brought to the front).
    void markAppeared(QWidget *window);

    /// True while a click on the window would still belong to a
    /// double-click that began before it appeared.
    bool isFresh(const QWidget *window) const;

    /// The button a close request on this screen presses, if it has one.
    static QAbstractButton *exitButton(const QWidget *screen);

    /// Marks a screen as in the middle of long work that keeps the window
    /// answering; a close request then waits for nothing and does nothing,
    /// since pressing the exit would pull the screen away from its work.
    static void setBusy(QWidget *screen, bool busy);

    /// True on the screens where Enter must press nothing.
    static bool ignoresEnter(const QWidget *screen);

    /// Gives the screen the keyboard: activates its window and, when
    /// nothing in it has focus, focuses its first tab stop.
    static void takeKeyboard(QWidget *screen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleClose(QWidget *screen, QEvent *event);
    bool handleEnter(QObject *watched, QEvent *event);
    void returnKeyboardToFront();
    static bool mayLeave(const QWidget *screen);

    const Navigator &m_navigator;
};
