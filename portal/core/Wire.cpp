#include "Wire.h"

#include "AnsiText.h"

#include <QRegularExpression>

namespace Wire {

bool isMailName(const QString &fileName)
{
    return fileName.right(4).toLower() == u".dat";
}

QByteArray transferHeader(const QString &fileName)
{
    return (isMailName(fileName) ? QByteArray("MAIL:") : QByteArray("FILE:")) + AnsiText::encode(fileName) + lineEnd;
}

QByteArray chatLine(const QString &message)
{
    return QByteArray("CHAT:") + AnsiText::encode(message) + lineEnd;
}

QByteArray endChatLines()
{
    return QByteArray("<ENDCHAT>\r\n<RESET>\r\n");
}

QByteArray busyLine(const QString &own, const QString &busyWith)
{
    return QStringLiteral("Busy: %1 is in a session with %2. Please call again later.").arg(own, busyWith).toLatin1() +
           lineEnd;
}

QString busyAnswer(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf(lineEnd);
    if (end < 0 || end > busyAnswerLimit)
        return {};
    const QString line = QString::fromLatin1(bytes.left(end));
    // Only the line a busy station sends: two callsigns in a fixed sentence.
    static const QRegularExpression busy(
        QStringLiteral("^Busy: [A-Z0-9]{1,6}(-[0-9]{1,2})? is in a session with [A-Z0-9]{1,6}(-[0-9]{1,2})?\\. "
                       "Please call again later\\.$"));
    return busy.match(line).hasMatch() ? line : QString();
}

QString BusyWatch::take(const QByteArray &bytes)
{
    if (m_kept.size() > busyAnswerLimit)
        return {};
    m_kept += bytes.left(busyAnswerLimit + 2 - m_kept.size());
    return busyAnswer(m_kept);
}

} // namespace Wire
