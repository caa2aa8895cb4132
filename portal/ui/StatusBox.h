#pragma once

#include <QString>

class QPlainTextEdit;

/// The window's text boxes: fed from outside (peers, the modem), so every
/// line and every box is bounded; lines go on top (newest first) or at the
/// end (newest last), and the oldest fall off the other side.
namespace StatusBox {

/// Lines a status box keeps at most, dropping the oldest.
inline constexpr int lineLimit = 2000;
/// Characters a box keeps at most, so a peer's long lines cannot make it
/// hold hundreds of megabytes of laid-out text.
inline constexpr qsizetype characterLimit = 64 * 1024;
/// A longer status line is shortened in the middle.
inline constexpr qsizetype longestLine = 1000;

/// The line shortened in the middle to at most `longest` characters.
QString bounded(const QString &line, qsizetype longest = longestLine);
/// Puts the text on top and keeps at most `limit` lines.
void insertOnTop(QPlainTextEdit *box, const QString &text, int limit);
/// Puts the text at the end and keeps at most `limit` lines.
void insertAtEnd(QPlainTextEdit *box, const QString &text, int limit);
/// The line on top of the box, as a line of its own.
void prepend(QPlainTextEdit *box, const QString &line);
/// The line after a line break at the end ("add below").
void addBelow(QPlainTextEdit *box, const QString &line);
/// The line on a line of its own at the end, with its line break.
void appendLine(QPlainTextEdit *box, const QString &line);
/// Keeps the last n lines and puts the caret at the end.
void keepLastLines(QPlainTextEdit *box, int n);

} // namespace StatusBox
