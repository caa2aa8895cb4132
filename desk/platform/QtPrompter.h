#pragma once

#include "Prompter.h"

/// Message boxes as real modal QMessageBoxes.
class QtPrompter : public Prompter
{
public:
    explicit QtPrompter(QString applicationTitle);
    void inform(const QString &text, Icon icon, const QString &title) override;
    bool ask(const QString &text, const QString &title, Icon icon) override;

private:
    QString m_applicationTitle;
};
