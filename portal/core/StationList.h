#pragma once

#include "PortalOutcome.h"

#include <QString>
#include <QStringList>

class QIODevice;

/// The station list file: one entry (callsign "-" IP address) per line,
/// each ended by CR LF.
class StationList
{
public:
    /// Entries of the file in file order, trimmed; blank lines are left out.
    static QStringList read(QIODevice &file);

    /// Appends one entry and CR LF to the file at path, creating it when missing.
    static PortalOutcome append(const QString &path, const QString &entry);

    /// Rewrites the file at path whole with the entries in order.
    static PortalOutcome rewrite(const QString &path, const QStringList &entries);

    /// The peer address an entry names: the text between its first and
    /// second "-", trimmed; the whole entry when it holds no "-". When that
    /// text is no IP address but the text after the last "-" is one, that
    /// one: callsigns carry their own "-" (SSIDs such as "-10").
    static QString addressOf(const QString &entry);

    /// An IPv4 address in four decimal parts, or an IPv6 address.
    static bool isAddress(const QString &text);
};
