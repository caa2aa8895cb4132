#pragma once

#include <QString>

/// A mail field travels as the decimal Windows-1252 codes of its
/// characters, separated by single spaces ("Hi, A!" is
/// "72 105 44 32 65 33"), so it can hold neither a comma nor a line end.

/// Text to its code list. Texts of any length are taken whole.
QString ConvertToASCII(const QString &InputString);

/// A code list back to text. Tokens are split at single spaces; a token
/// counts when, white space (space, tab, CR, LF) at its ends aside, it is a
/// plain decimal number from 0 to 255, leading zeros allowed. Every other
/// token (signs, fractions, larger numbers, ...) is skipped.
QString DecodeFromASCII(const QString &asciiString);
