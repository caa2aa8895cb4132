#pragma once

#include <QString>

/// Text operations on the portal's status and chat boxes. A box's line
/// break ("\n") stands for the CR LF of the original boxes.
namespace StatusText {

/// Removes leading and trailing space characters only (not tabs or line ends).
QString trimSpaces(const QString &text);

/// The box's text, a line break and the line (an empty box gets a leading break).
QString addBelow(const QString &box, const QString &line);

/// The line, a line break and the box's old text: newest on top.
QString prepend(const QString &box, const QString &line);

/// The box's text, the line and a line break.
QString append(const QString &box, const QString &line);

/// Keeps the last n pieces of the text split at line breaks (a text ending in
/// a break has an empty last piece); shorter texts come back unchanged.
QString keepLastLines(const QString &box, int n);

/// Names longer than this are shortened in the middle in status lines.
constexpr qsizetype longestName = 200;

/// The name itself up to longestName characters; a longer name keeps its
/// beginning and end around "...", longestName characters in all, so its
/// start and its extension stay readable.
QString shortName(const QString &name);

/// The time stamp of chat lines: two-digit 24-hour hours, minutes, seconds.
QString chatTime();

/// An error line: the tag, the number in decimal, "] " and the description.
QString errorLine(const QString &tag, int number, const QString &description);

} // namespace StatusText
