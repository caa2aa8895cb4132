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
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("the name holds a control character");
    }
    return {};
}

bool ReceiveName::storesContent(const QString &name)
{
    const QString type = name.left(4).toUpper();
    return type == u"MAIL" || type == u"FILE";
}
