#include "StatusText.h"

#include <QTime>

namespace StatusText {

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString shortName(const QString &name)
{
    return shortened(name, longestName);
}

QString shortened(const QString &text, qsizetype longest)
{
    if (text.size() <= longest)
        return text;
    const QString mark = QStringLiteral("...");
    const qsizetype tail = (longest - mark.size()) / 2;
    const qsizetype head = longest - mark.size() - tail;
    return text.left(head) + mark + text.right(tail);
}

QString chatTime()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

QString errorLine(const QString &tag, int number, const QString &description)
{
    return tag + QString::number(number) + QStringLiteral("] ") + description;
}

} // namespace StatusText
