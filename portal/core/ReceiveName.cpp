#include "ReceiveName.h"

QString ReceiveName::refusal(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("the name holds a path separator");
    if (name.size() >= 2 && name[1] == u':' && name[0].isLetter())
        return QStringLiteral("the name begins with a drive prefix");
    if (name == u"." || name == u".." || name.contains(QStringLiteral("..")))
        return QStringLiteral("the name holds \"..\"");
    // Hidden names are the portal's own (the folder of part files among them).
    if (name.startsWith(u'.'))
        return QStringLiteral("the name begins with \".\", which is kept for hidden files");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("the name holds a control character");
    }
    return {};
}

QString ReceiveName::keepRefusal(const QString &name)
{
    const QString unsafe = refusal(name);
    if (!unsafe.isEmpty())
        return unsafe;
    if (!storesContent(name))
        return QStringLiteral("the name does not begin with \"MAIL\" or \"FILE\", so its content would not be kept");
    return {};
}

QString ReceiveName::controlCharacters(const QString &name)
{
    QString shown;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            if (!shown.isEmpty())
                shown += QStringLiteral(", ");
            switch (c.unicode()) {
            case '\r': shown += QStringLiteral("CR"); break;
            case '\n': shown += QStringLiteral("LF"); break;
            case '\t': shown += QStringLiteral("TAB"); break;
            default: shown += QStringLiteral("0x") + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
            }
        }
    }
    return shown;
}

bool ReceiveName::storesContent(const QString &name)
{
    const QString type = name.left(4).toUpper();
    return type == u"MAIL" || type == u"FILE";
}
