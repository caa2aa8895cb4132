#pragma once

#include "PortalDesktop.h"

/// The desktop on Linux. The desk is asked to come forward through the
/// local socket it keeps for its user and display, and counts as reached
/// only when it answers the raise request; otherwise its top-level window
/// is searched by exact title on X11 and raised. Keys go through XTest,
/// the mute through pactl or amixer.
class X11PortalDesktop : public PortalDesktop
{
public:
    bool raiseDesk(const QString &title) override;
    void pressAltTab() override;
    PortalOutcome toggleMute() override;

    /// The desk's socket for this user and display, named as the desk names
    /// it: the application title and the display in the user's runtime
    /// folder, or in the user's own folder in the temporary folder when the
    /// runtime folder is missing or open to others. Empty when neither is
    /// a folder of this user's alone.
    static QString deskSocketPath(const QString &title);
    /// Asks the desk behind that socket to raise its front screen; true only
    /// when a process of this user answers that it did.
    static bool askDeskToRaise(const QString &socketPath);
    /// Finds a top-level window whose WM_NAME or _NET_WM_NAME is exactly the
    /// title, maps and raises it and gives it the input focus.
    static bool raiseWindowByTitle(const QString &title);

    /// What the portal sends and what the desk answers once its screen is up.
    static constexpr char raiseRequest[] = "TAVRIX RAISE\n";
    static constexpr char raiseAnswer[] = "TAVRIX RAISED\n";
};
