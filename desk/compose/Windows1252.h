#pragma once

#include <QByteArray>
#include <QString>

/// The Windows-1252 code page, which every message byte travels in. Every
/// byte value survives bytes -> text -> bytes; a character the code page
/// lacks becomes '?'.
namespace Windows1252 {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);

/// The code of one character, or 63 ('?') when the code page lacks it.
unsigned char codeOf(QChar c);
QChar charOf(unsigned char code);
/// True when the code page has the character (which then survives
/// text -> bytes -> text unchanged).
bool holds(QChar c);

} // namespace Windows1252
