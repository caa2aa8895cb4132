#pragma once

#include <QString>

/// Where the station ID is kept between runs.
class StationIdStore
{
public:
    virtual ~StationIdStore() = default;
    /// The stored ID as it was typed; empty when none was ever stored.
    virtual QString load() = 0;
    virtual void store(const QString &id) = 0;
};
