#pragma once

#include <QObject>

/// Return and Enter press the focused button the way Space does, for every
/// window of the program. Keys typed into text boxes are left alone, so a
/// box that acts on Return keeps doing so.
class ReturnPressesButton : public QObject
{
    Q_OBJECT
public:
    /// Installs the filter on the application once; later calls do nothing.
    static void installOnce();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
