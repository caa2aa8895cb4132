#pragma once

#include <QString>

/// Message boxes: notices with an OK button, and Yes/No questions.
class Prompter
{
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~Prompter() = default;
    virtual void inform(const QString &text, Icon icon) = 0;
    /// Asks a Yes/No question (question icon, No as the default answer).
    /// True when the operator answers Yes.
    virtual bool ask(const QString &question) = 0;
};
