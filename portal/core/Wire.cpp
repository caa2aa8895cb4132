#include "Wire.h"

#include "AnsiText.h"

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

} // namespace Wire
