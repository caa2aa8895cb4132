#pragma once

#include "StationIdStore.h"

/// The station ID in the per-user settings of "telnet server", section
/// "Settings", key "StationID".
class SettingsStationIdStore : public StationIdStore
{
public:
    QString load() override;
    PortalOutcome store(const QString &id) override;
};
