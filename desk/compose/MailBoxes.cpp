#include "MailBoxes.h"

#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <limits>

// Keeps the message box's text exactly. The document turns every line end
// into a block break, and toPlainText() turns a non-breaking space into a
// space; so the text is read from the document's raw text, which keeps
// every character, and this remembers which line end each block break
// stands for, following the operator's edits.
class ExactText : public QObject
{
public:
    explicit ExactText(QPlainTextEdit *box)
        : QObject(box)
        , m_box(box)
    {
        connect(box->document(), &QTextDocument::contentsChange, this,
                [this](int position, int, int) { follow(position); });
    }

    void setText(const QString &text)
    {
        QString shown;
        shown.reserve(text.size());
        QList<QString> ends;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ends << QStringLiteral("\r\n");
                ++i;
            } else if (c == u'\r' || c == u'\n') {
                ends << QString(c);
            } else if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
                // The box can only show these as line breaks; no mail carries them.
                ends << QStringLiteral("\r\n");
            } else {
                shown += c;
                continue;
            }
            shown += u'\n';
        }
        m_setting = true;
        m_box->setPlainText(shown);
        m_setting = false;
        m_raw = m_box->document()->toRawText();
        m_ends = ends;
        // Anything else the document took for a block break is a typed one.
        m_ends.resize(m_raw.count(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
    }

    QString text() const
    {
        QString exact;
        exact.reserve(m_raw.size() + m_ends.size());
        qsizetype end = 0;
        for (const QChar c : m_raw) {
            if (c == QChar::ParagraphSeparator)
                exact += m_ends.value(end++, QStringLiteral("\r\n"));
            else if (c == QChar::LineSeparator) // Shift+Enter
                exact += QStringLiteral("\r\n");
            else
                exact += c;
        }
        return exact;
    }

private:
    // Finds what changed between the last raw text and the present one and
    // moves the line ends along: breaks removed take their ends with them,
    // breaks added are typed ones (CR LF).
    void follow(int position)
    {
        if (m_setting)
            return;
        const QString now = m_box->document()->toRawText();
        // The change starts at `position`; of equal neighbours (two breaks in a
        // row) the one edited is the one whose end goes.
        const qsizetype limit = std::min({now.size(), m_raw.size(), qsizetype(std::max(position, 0))});
        qsizetype prefix = 0;
        while (prefix < limit && now[prefix] == m_raw[prefix])
            ++prefix;
        qsizetype suffix = 0;
        const qsizetype suffixLimit = std::min(now.size(), m_raw.size()) - prefix;
        while (suffix < suffixLimit && now[now.size() - 1 - suffix] == m_raw[m_raw.size() - 1 - suffix])
            ++suffix;
        const auto breaks = [](QStringView text) { return text.count(QChar::ParagraphSeparator); };
        const qsizetype before = breaks(QStringView(m_raw).first(prefix));
        const qsizetype removed = breaks(QStringView(m_raw).sliced(prefix, m_raw.size() - prefix - suffix));
        const qsizetype added = breaks(QStringView(now).sliced(prefix, now.size() - prefix - suffix));
        m_ends.remove(std::min(before, m_ends.size()), std::min(removed, m_ends.size() - std::min(before, m_ends.size())));
        m_ends.insert(std::min(before, m_ends.size()), added, QStringLiteral("\r\n"));
        m_raw = now;
    }

    QPlainTextEdit *m_box;
    QString m_raw;
    QList<QString> m_ends;
    bool m_setting = false;
};

namespace {

QLineEdit *makeBox(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    // A field is the box's whole text, however long it is.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

} // namespace

MailBoxes::MailBoxes(QWidget *parent, const MailFields &initial)
    : to(makeBox(parent, "Text3"))
    , subject(makeBox(parent, "Text2"))
    , message(new QPlainTextEdit(parent))
    , from(makeBox(parent, "Text4"))
    , m_messageText(new ExactText(message))
{
    message->setObjectName(QStringLiteral("Text1"));
    message->setMinimumSize(600, 240);
    // Tab moves on to the next box; a line break is typed with Enter.
    message->setTabChangesFocus(true);
    setFields(initial);
}

MailFields MailBoxes::fields() const
{
    return {to->text(), subject->text(), m_messageText->text(), from->text()};
}

void MailBoxes::setFields(const MailFields &mail)
{
    to->setText(mail.to);
    subject->setText(mail.subject);
    m_messageText->setText(mail.message);
    from->setText(mail.from);
    placeCaretsAtEnd();
}

void MailBoxes::placeCaretsAtEnd()
{
    for (QLineEdit *box : {to, subject, from})
        box->setCursorPosition(box->text().size());
    message->moveCursor(QTextCursor::End);
}
