#pragma once

#include "MailFields.h"

class ExactText;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

/// The four boxes of a mail (To `Text3`, Subject `Text2`, Message `Text1`,
/// From `Text4`) that the composers and the readers share.
///
/// The boxes hold a mail's text exactly: `fields()` gives back what
/// `setFields()` put in, every character and every kind of line end (CR LF,
/// a lone CR, a lone LF) included, with the operator's edits; a line break
/// typed into the message is CR LF. No box cuts a long text.
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

private:
    ExactText *m_messageText;
};
