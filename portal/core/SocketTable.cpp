#include "SocketTable.h"

#include <QHostAddress>
#include <QIODevice>

#include <QtEndian>

#include <cstring>
#include <iterator>

namespace {

QString stateName(int state)
{
    static const char *const names[] = {"",          "ESTABLISHED", "SYN_SENT", "SYN_RECEIVED", "FIN_WAIT_1", "FIN_WAIT_2",
                                        "TIME_WAIT", "CLOSED",      "CLOSE_WAIT", "LAST_ACK",   "LISTENING",  "CLOSING"};
    if (state > 0 && state < int(std::size(names)))
        return QLatin1String(names[state]);
    return QString::number(state);
}

// The kernel prints each 32-bit word of the address as it lies in memory.
QString endpoint(const QByteArray &field)
{
    const qsizetype colon = field.indexOf(':');
    if (colon < 0)
        return {};
    const QByteArray hex = field.left(colon);
    const uint port = field.mid(colon + 1).toUInt(nullptr, 16);
    if (hex.size() != 8 && hex.size() != 32)
        return {};
    quint8 bytes[16] = {};
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        const quint32 value = hex.mid(word * 8, 8).toUInt(nullptr, 16);
        std::memcpy(bytes + word * 4, &value, 4);
    }
    if (hex.size() == 8) {
        quint32 networkOrder;
        std::memcpy(&networkOrder, bytes, 4);
        const QHostAddress address(qFromBigEndian(networkOrder));
        return address.toString() + u':' + QString::number(port);
    }
    const QHostAddress address(bytes);
    return u'[' + address.toString() + QStringLiteral("]:") + QString::number(port);
}

QString portField(const QString &endpoint)
{
    return endpoint.mid(endpoint.lastIndexOf(u':') + 1);
}

} // namespace

namespace SocketTable {

QStringList read(QIODevice &table)
{
    QStringList lines;
    table.readLine(); // the heading
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() < 4)
            continue;
        const QString local = endpoint(fields[1]);
        const QString remote = endpoint(fields[2]);
        if (local.isEmpty() || remote.isEmpty())
            continue;
        lines.append(QStringLiteral("  TCP    %1 %2 %3")
                         .arg(local, -23)
                         .arg(remote, -23)
                         .arg(stateName(fields[3].toInt(nullptr, 16))));
    }
    return lines;
}

QStringList usingPort(const QStringList &lines, quint16 port)
{
    const QString digits = QString::number(port);
    QStringList matching;
    for (const QString &line : lines) {
        const QStringList fields = line.simplified().split(u' ');
        if (fields.size() >= 3 && (portField(fields[1]).startsWith(digits) || portField(fields[2]).startsWith(digits)))
            matching.append(line);
    }
    return matching;
}

} // namespace SocketTable
