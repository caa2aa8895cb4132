#pragma once

#include <QString>

/// Message boxes with an OK button.
class Prompter
{
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~Prompter() = default;
    virtual void inform(const QString &text, Icon icon) = 0;
};
