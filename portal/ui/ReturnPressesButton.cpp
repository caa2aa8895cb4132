#include "ReturnPressesButton.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>

void ReturnPressesButton::installOnce()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || app->findChild<ReturnPressesButton *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new ReturnPressesButton(app));
}

bool ReturnPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    // The keypad's Enter carries the keypad flag; any other modifier keeps its own meaning.
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled())
        return false;
    // Space acts once per press, not for every repeat of a held key.
    if (!key->isAutoRepeat())
        button->click();
    return true;
}
