#include "StationList.h"

#include "AnsiText.h"
#include "StatusText.h"
#include "WholeWrite.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSaveFile>

QStringList StationList::read(QIODevice &file)
{
    QStringList entries;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const QString entry = StatusText::trimSpaces(AnsiText::decode(line));
        if (!entry.isEmpty())
            entries.append(entry);
    }
    return entries;
}

PortalOutcome StationList::append(const QString &path, const QString &entry)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return PortalOutcome::fileFailure(file);
    const qint64 before = file.size();
    const QByteArray line = AnsiText::encode(entry) + "\r\n";
    if (!writeWhole(file, line)) {
        const PortalOutcome failed = PortalOutcome::fileFailure(file);
        // Half an entry would run into the next one: cut back to where it was.
        file.resize(before);
        return failed;
    }
    return {};
}

PortalOutcome StationList::rewrite(const QString &path, const QStringList &entries)
{
    // Written aside and swapped in, so a failure leaves the old list intact.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return PortalOutcome::fileFailure(file);
    QByteArray text;
    for (const QString &entry : entries)
        text += AnsiText::encode(entry) + "\r\n";
    if (!writeWhole(file, text) || !file.commit())
        return PortalOutcome::fileFailure(file);
    return {};
}

QString StationList::addressOf(const QString &entry)
{
    const QStringList pieces = entry.split(u'-');
    if (pieces.size() < 2)
        return entry;
    const QString second = StatusText::trimSpaces(pieces[1]);
    if (pieces.size() > 2 && !isAddress(second)) {
        const QString last = StatusText::trimSpaces(pieces.last());
        if (isAddress(last))
            return last;
    }
    return second;
}

bool StationList::isAddress(const QString &text)
{
    // Strict dotted quads: the socket's own parser takes "10" for 0.0.0.10,
    // which is exactly the SSID that must not pass for an address.
    static const QRegularExpression dottedQuad(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    if (dottedQuad.match(text).hasMatch())
        return true;
    QHostAddress address;
    return text.contains(u':') && address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}
