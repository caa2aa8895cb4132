#include "MailBoxes.h"

#include "AddressBook.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "receive/SearchCache.h"
#include "receive/SaveForm.h"
#include "shell/DeskContext.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

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

// Completes the word being typed at the end of the To box, which holds its
// label ("TO-", "To: ") and perhaps other addressees before that word. Only
// the operator's own edits start it, and only a pick changes the box.
class AddressCompletion : public QObject
{
public:
    explicit AddressCompletion(QLineEdit *box)
        : QObject(box)
        , m_box(box)
        , m_model(new QStringListModel(this))
        , m_completer(new QCompleter(m_model, this))
    {
        m_completer->setObjectName(QStringLiteral("addresscompleter"));
        m_completer->setWidget(box);
        m_completer->setCompletionMode(QCompleter::PopupCompletion);
        m_completer->setCaseSensitivity(Qt::CaseInsensitive);
        // The model's order is the ranking: most recently used first.
        m_completer->setModelSorting(QCompleter::UnsortedModel);
        m_completer->setFilterMode(Qt::MatchStartsWith);
        m_completer->setMaxVisibleItems(8);
        connect(box, &QLineEdit::textEdited, this, &AddressCompletion::typed);
        connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this, &AddressCompletion::pick);
    }

    // Offers what is known at once and the senders of mail as the search's
    // worker publishes them, so a large archive never holds the screen.
    void follow(DeskContext &context)
    {
        m_lists = AddressBook::gatherLists(context.files, AddressBook::stationListPlaces(context.files));
        SaveForm::searchCache(context);
        m_search = context.messageSearch;
        // While the worker reads it publishes ten times a second; the list
        // is made again at most four times a second then.
        auto *soon = new QTimer(this);
        soon->setSingleShot(true);
        connect(soon, &QTimer::timeout, this, &AddressCompletion::offerKnown);
        connect(m_search.get(), &SearchCache::updated, this, [this, soon] {
            if (!soon->isActive())
                soon->start(m_search->isReady() ? 0 : 250);
        });
        offerKnown();
        // Mail deleted or added since the last look takes or brings its sender.
        m_search->refresh();
    }

private:
    void offerKnown()
    {
        AddressBook book = m_lists;
        if (m_search)
            book.noteAll(m_search->senders());
        const QStringList callsigns = book.ranked();
        if (callsigns == m_model->stringList())
            return;
        m_model->setStringList(callsigns);
        // A list already open, or a word being typed, is shown again from
        // the fuller list; still nothing is filled in.
        if (m_completer->popup()->isVisible() || (m_edited && m_box->hasFocus()))
            typed();
    }

    void typed()
    {
        m_edited = true;
        const AddressBook::TypedWord typed = AddressBook::typedWord(m_box->text().left(m_box->cursorPosition()));
        if (typed.word.isEmpty() || m_model->rowCount() == 0) {
            m_completer->popup()->hide();
            return;
        }
        m_completer->setCompletionPrefix(typed.word);
        if (m_completer->completionCount() == 0) {
            m_completer->popup()->hide();
            return;
        }
        // Nothing is chosen until the operator moves to a line.
        m_completer->popup()->setCurrentIndex({});
        m_completer->complete();
    }

    void pick(const QString &callsign)
    {
        const int cursor = m_box->cursorPosition();
        const QString before = m_box->text().left(cursor);
        const AddressBook::TypedWord typed = AddressBook::typedWord(before);
        const QString text = before.left(typed.start) + callsign + m_box->text().mid(cursor);
        m_box->setText(text);
        m_box->setCursorPosition(int(typed.start + callsign.size()));
    }

    QLineEdit *m_box;
    QStringListModel *m_model;
    QCompleter *m_completer;
    AddressBook m_lists;
    std::shared_ptr<SearchCache> m_search;
    bool m_edited = false;
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

void MailBoxes::offerAddresses(DeskContext &context)
{
    if (!m_completion)
        m_completion = new AddressCompletion(to);
    m_completion->follow(context);
}

void rememberAddressees(DeskContext &context, const QString &toField)
{
    if (const Outcome kept = AddressBook::recordSent(context.files, toField, context.clock.now()); !kept)
        context.prompter.inform(QObject::tr("The mail is in the outbox, but its addressee could not be remembered "
                                            "for the To box: %1")
                                    .arg(kept.error()),
                                Prompter::Icon::Exclamation);
}

void MailBoxes::placeCaretsAtEnd()
{
    for (QLineEdit *box : {to, subject, from})
        box->setCursorPosition(box->text().size());
    message->moveCursor(QTextCursor::End);
}
