#pragma once

#include <QByteArray>
#include <QString>

/// The byte forms that portals send each other.
namespace Wire {

inline constexpr char lineEnd[] = "\r\n";

/// Whether a file of this name travels as mail: its name ends in ".dat" in any case.
bool isMailName(const QString &fileName);

/// "MAIL:" or "FILE:", the name and CR LF.
QByteArray transferHeader(const QString &fileName);

/// "CHAT:", the message and CR LF.
QByteArray chatLine(const QString &message);

/// "<ENDCHAT>" CR LF then "<RESET>" CR LF: what ends a chat from this side.
QByteArray endChatLines();

} // namespace Wire
