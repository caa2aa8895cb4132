#pragma once

#include "Outcome.h"

#include <QStringList>

/// Where the station list is kept between runs.
class StationStore
{
public:
    virtual ~StationStore() = default;
    /// The stored entries in order; none when nothing was ever stored.
    virtual QStringList load() = 0;
    /// Adds one entry at the end.
    virtual Outcome append(const QString &entry) = 0;
    /// Replaces the whole list.
    virtual Outcome rewrite(const QStringList &entries) = 0;
};
