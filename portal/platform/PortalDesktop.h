#pragma once

#include "PortalOutcome.h"

#include <QString>

/// The desktop services the portal uses: bringing the desk forward,
/// synthetic keys and the system mute.
class PortalDesktop
{
public:
    virtual ~PortalDesktop() = default;

    /// Brings the desk program, known by its application title, to the front.
    /// False when no such program is running.
    virtual bool raiseDesk(const QString &title) = 0;
    /// Alt pressed, Tab pressed, Tab released, Alt released: every key
    /// pressed is let go again.
    virtual void pressAltTab() = 0;
    /// Toggles the system mute.
    virtual PortalOutcome toggleMute() = 0;
};
