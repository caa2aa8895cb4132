#pragma once

#include <QString>

/// Message boxes: the one way the desk tells the operator something or asks
/// a Yes/No question. Screens never open a QMessageBox themselves.
class Prompter
{
public:
    enum class Icon { None, Critical, Exclamation, Information, Question };

    virtual ~Prompter() = default;

    /// A modal box with an OK button. An empty title means the application title.
    virtual void inform(const QString &text, Icon icon = Icon::None, const QString &title = {}) = 0;

    /// A modal Yes/No question; true for Yes.
    virtual bool ask(const QString &text, const QString &title, Icon icon = Icon::Question) = 0;
};
