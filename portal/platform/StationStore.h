#pragma once

#include "PortalOutcome.h"

#include <QStringList>

/// Where the station list is kept between runs.
class StationStore
{
public:
    virtual ~StationStore() = default;
    /// The stored entries in order; none when nothing was ever stored.
    virtual QStringList load() = 0;
    /// Adds one entry at the end.
    virtual PortalOutcome append(const QString &entry) = 0;
    /// Replaces the whole list.
    virtual PortalOutcome rewrite(const QStringList &entries) = 0;
};
