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

/// Looks for the busy line at the start of what a called station answers,
/// keeping no more of the answer than busyAnswerLimit.
class BusyWatch
{
public:
    /// Takes the answer's next bytes: the busy line once it is whole, empty
    /// until then and for good once the answer is longer than the line can be.
    QString take(const QByteArray &bytes);
    void clear() { m_kept.clear(); }
    /// How many bytes of the answer are kept.
    qsizetype size() const { return m_kept.size(); }

private:
    QByteArray m_kept;
};

} // namespace Wire
