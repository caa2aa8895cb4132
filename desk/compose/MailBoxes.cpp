#include "MailBoxes.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

QLineEdit *makeBox(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

MailBoxes::MailBoxes(QWidget *parent, const MailFields &initial)
    : to(makeBox(parent, "Text3"))
    , subject(makeBox(parent, "Text2"))
    , message(new QPlainTextEdit(parent))
    , from(makeBox(parent, "Text4"))
{
    message->setObjectName(QStringLiteral("Text1"));
    message->setMinimumSize(600, 240);
    // Tab moves on to the next box; a line break is typed with Enter.
    message->setTabChangesFocus(true);
    setFields(initial);
}

MailFields MailBoxes::fields() const
{
    // The message box shows line breaks as LF; a mail carries CR LF.
    QString text = message->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\n', QStringLiteral("\r\n"));
    return {to->text(), subject->text(), text, from->text()};
}

void MailBoxes::setFields(const MailFields &mail)
{
    to->setText(mail.to);
    subject->setText(mail.subject);
    QString text = mail.message;
    message->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    from->setText(mail.from);
    placeCaretsAtEnd();
}

void MailBoxes::placeCaretsAtEnd()
{
    for (QLineEdit *box : {to, subject, from})
        box->setCursorPosition(box->text().size());
    message->moveCursor(QTextCursor::End);
}
