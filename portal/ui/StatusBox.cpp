#include "StatusBox.h"

#include "StatusText.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace StatusBox {

namespace {

enum class Side { Top, Bottom };

// Drops whole lines at one side until the box holds at most limit lines and
// at most characterLimit characters; the newest line always stays.
// Works on the document in place, so its cost does not grow with the box.
void dropLines(QTextDocument *document, int limit, Side side)
{
    const int blocks = document->blockCount();
    qsizetype characters = document->characterCount();
    if (blocks <= limit && characters <= characterLimit)
        return;
    // A shown line costs far more than its characters (its laid-out glyphs
    // are kept too): lines a peer makes long fill memory long before the
    // line count is reached. Whole lines go, oldest first.
    int excess = 0;
    for (QTextBlock block = side == Side::Top ? document->firstBlock() : document->lastBlock();
         block.isValid() && excess < blocks - 1 && (excess < blocks - limit || characters > characterLimit);
         block = side == Side::Top ? block.next() : block.previous()) {
        characters -= block.length();
        ++excess;
    }
    if (excess <= 0)
        return;
    QTextCursor cursor(document);
    if (side == Side::Top) {
        cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    } else {
        cursor.setPosition(document->findBlockByNumber(blocks - excess - 1).position());
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

} // namespace

// Peers decide how long a line is: a box shows at most `longest` characters of one.
QString bounded(const QString &line, qsizetype longest)
{
    return StatusText::shortened(line, longest);
}

// The newest line goes on top; the oldest lines fall off the bottom.
void insertOnTop(QPlainTextEdit *box, const QString &text, int limit)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(text);
    dropLines(box->document(), limit, Side::Bottom);
    box->moveCursor(QTextCursor::Start);
}

// The newest line goes at the bottom; the oldest lines fall off the top.
void insertAtEnd(QPlainTextEdit *box, const QString &text, int limit)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    dropLines(box->document(), limit, Side::Top);
    box->moveCursor(QTextCursor::End);
}

void prepend(QPlainTextEdit *box, const QString &line)
{
    insertOnTop(box, bounded(line) + u'\n', lineLimit);
}

void addBelow(QPlainTextEdit *box, const QString &line)
{
    insertAtEnd(box, u'\n' + bounded(line), lineLimit);
}

void appendLine(QPlainTextEdit *box, const QString &line)
{
    // Another entry may have ended without a line break ("add below"):
    // this one still starts on a line of its own.
    const QTextBlock last = box->document()->lastBlock();
    const QString lead = last.text().isEmpty() ? QString() : QStringLiteral("\n");
    insertAtEnd(box, lead + bounded(line) + u'\n', lineLimit);
}

void keepLastLines(QPlainTextEdit *box, int n)
{
    QTextDocument *document = box->document();
    if (document->blockCount() > n) {
        dropLines(document, n, Side::Top);
        // Kept lines that were empty before the first text are not kept.
        while (document->blockCount() > 1 && document->firstBlock().text().isEmpty()) {
            QTextCursor cursor(document);
            cursor.setPosition(document->firstBlock().next().position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
    }
    box->moveCursor(QTextCursor::End);
}

} // namespace StatusBox
