#pragma once

#include "PortalDesktop.h"

/// The desktop on Linux. The desk is asked to come forward through the
/// local socket it keeps under its application title, which brings the
/// screen it shows to the front; without that socket its top-level window
/// is searched by exact title on X11 and raised. Keys go through XTest,
/// the mute through pactl or amixer.
class X11PortalDesktop : public PortalDesktop
{
public:
    bool raiseDesk(const QString &title) override;
    void pressAltTab() override;
    QString toggleMute() override;

    /// Finds a top-level window whose WM_NAME or _NET_WM_NAME is exactly the
    /// title, maps and raises it and gives it the input focus.
    static bool raiseWindowByTitle(const QString &title);
};
