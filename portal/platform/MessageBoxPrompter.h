#pragma once

#include "Prompter.h"

class QWidget;

/// Prompter on QMessageBox, modal to the portal window.
class MessageBoxPrompter : public Prompter
{
public:
    void setParentWindow(QWidget *window) { m_window = window; }
    void inform(const QString &text, Icon icon) override;
    bool ask(const QString &question) override;

private:
    QWidget *m_window = nullptr;
};
