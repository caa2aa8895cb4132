#include "StatusText.h"

#include <QStringList>
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

QString addBelow(const QString &box, const QString &line)
{
    return box + u'\n' + line;
}

QString prepend(const QString &box, const QString &line)
{
    return line + u'\n' + box;
}

QString append(const QString &box, const QString &line)
{
    return box + line + u'\n';
}

QString keepLastLines(const QString &box, int n)
{
    const QStringList pieces = box.split(u'\n');
    if (pieces.size() <= n)
        return box;
    QString kept;
    for (qsizetype i = pieces.size() - n; i < pieces.size(); ++i)
        kept = kept.isEmpty() ? pieces[i] : kept + u'\n' + pieces[i];
    return kept;
}

QString shortName(const QString &name)
{
    if (name.size() <= longestName)
        return name;
    const QString mark = QStringLiteral("...");
    const qsizetype tail = (longestName - mark.size()) / 2;
    const qsizetype head = longestName - mark.size() - tail;
    return name.left(head) + mark + name.right(tail);
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
