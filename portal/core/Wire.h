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

/// The one line a radio station in a session sends a caller it turns away:
/// "Busy: OWN is in a session with OTHER. Please call again later." and CR LF.
QByteArray busyLine(const QString &own, const QString &busyWith);

/// The busy line (without its line end) when `bytes` begin with one; empty
/// otherwise, also while its line end has not yet arrived.
QString busyAnswer(const QByteArray &bytes);

/// Bytes a caller keeps from the start of an answer to look for the busy line.
inline constexpr qsizetype busyAnswerLimit = 160;

} // namespace Wire
