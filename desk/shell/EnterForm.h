#pragma once

#include <QWidget>

struct DeskContext;
class QPushButton;

/// `ENTER`: the first screen, and the place the operator comes back to in
/// order to leave, to restart the main menu or to go to the directory setup.
class EnterForm : public QWidget
{
    Q_OBJECT
public:
    explicit EnterForm(DeskContext &context);

    /// Shows "&RE-ENTER" in place of "&ENTER"; screens that send the
    /// operator back here call it.
    void showReenter();

private:
    void setup();
    void enter();
    void quit();
    void reenter();

    DeskContext &m_context;
    QPushButton *m_reenter = nullptr;
};
