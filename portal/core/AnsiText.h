#pragma once

#include <QByteArray>
#include <QString>

/// The single-byte code page in which text crosses the portal's sockets:
/// Windows-1252. Bytes 0x80-0x9F follow the Windows table, the rest are
/// Latin-1; a character the code page lacks is sent as "?".
namespace AnsiText {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);

} // namespace AnsiText
