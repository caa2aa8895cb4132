#pragma once

#include "PortalOutcome.h"

#include <QString>

/// Where the station ID is kept between runs.
class StationIdStore
{
public:
    virtual ~StationIdStore() = default;
    /// The stored ID as it was typed; empty when none was ever stored.
    virtual QString load() = 0;
    /// A failure names where the ID was to be kept and why it is not.
    virtual PortalOutcome store(const QString &id) = 0;
};
