#pragma once

#include "MailFields.h"

#include <QStringList>

struct DeskContext;
class AddressCompletion;
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

    /// Offers the callsigns the desk knows (AddressBook), most recently used
    /// first, as the operator types a word into the To box: a pop-up list of
    /// those that begin with the word (letter case ignored), and the one
    /// picked replaces the word. The box changes only when the operator
    /// picks one. The senders of saved and received mail come from the
    /// desk's message search as its worker publishes them; nothing of the
    /// mail folders is read here.
    void offerAddresses(DeskContext &context);

    QLineEdit *to;
    QLineEdit *subject;
    QPlainTextEdit *message;
    QLineEdit *from;

private:
    ExactText *m_messageText;
    AddressCompletion *m_completion = nullptr;
};

/// Remembers the callsigns of a posted mail's To text for completion. The
/// mail is in the outbox already, so a failure only tells the operator that
/// the addressee will not be offered.
void rememberAddressees(DeskContext &context, const QString &toField);
