#pragma once

#include <QByteArray>
#include <QStringList>

/// What of the modem console's output is shown: the arrival is split into
/// lines at CR LF, CR or LF; each line is trimmed of spaces, and empty
/// lines, lines holding a telnet command byte (255) and lines holding the
/// cursor sequence "[A" are left out.
namespace ModemText {

QStringList visibleLines(const QByteArray &arrival);

} // namespace ModemText
