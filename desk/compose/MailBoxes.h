#pragma once

#include "shell/Modsavemodule.h"

class QLineEdit;
class QPlainTextEdit;
class QWidget;

/// The four boxes of a mail (To `Text3`, Subject `Text2`, Message `Text1`,
/// From `Text4`) that the composer and the readers share.
class MailBoxes
{
public:
    /// Creates the boxes on `parent` holding `initial`.
    MailBoxes(QWidget *parent, const MailFields &initial);

    MailFields fields() const;
    void setFields(const MailFields &mail);

    /// Puts each box's caret after its last character.
    void placeCaretsAtEnd();

    QLineEdit *to;
    QLineEdit *subject;
    QPlainTextEdit *message;
    QLineEdit *from;
};
