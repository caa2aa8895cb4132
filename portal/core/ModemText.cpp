#include "ModemText.h"

#include "AnsiText.h"
#include "StatusText.h"

namespace ModemText {

QStringList visibleLines(const QByteArray &arrival)
{
    QString text = AnsiText::decode(arrival);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList shown;
    for (const QString &piece : text.split(u'\n')) {
        const QString line = StatusText::trimSpaces(piece);
        if (line.isEmpty() || line.contains(QChar(0xFF)) || line.contains(QStringLiteral("[A")))
            continue;
        shown.append(line);
    }
    return shown;
}

} // namespace ModemText
