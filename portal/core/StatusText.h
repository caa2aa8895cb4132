#pragma once

#include <QString>

/// Text operations on the portal's status and chat boxes. A box's line
/// break ("\n") stands for the CR LF of the original boxes.
namespace StatusText {

/// Removes leading and trailing space characters only (not tabs or line ends).
QString trimSpaces(const QString &text);

/// Names longer than this are shortened in the middle in status lines.
constexpr qsizetype longestName = 200;

/// The name itself up to longestName characters; a longer name keeps its
/// beginning and end around "...", longestName characters in all, so its
/// start and its extension stay readable.
QString shortName(const QString &name);

/// The text itself up to `longest` characters; a longer one keeps its
/// beginning and end around "...", `longest` characters in all.
QString shortened(const QString &text, qsizetype longest);

/// The time stamp of chat lines: two-digit 24-hour hours, minutes, seconds.
QString chatTime();

/// An error line: the tag, the number in decimal, "] " and the description.
QString errorLine(const QString &tag, int number, const QString &description);

} // namespace StatusText
