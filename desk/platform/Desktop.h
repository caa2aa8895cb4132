#pragma once

#include "shell/Outcome.h"

#include <QString>

/// The desktop around the program: other programs' windows, synthetic keys,
/// the system mute and the file manager.
class Desktop
{
public:
    virtual ~Desktop() = default;

    /// Finds a top-level window whose title is exactly `title`, restores it
    /// and brings it to the front. False when there is no such window.
    virtual bool raiseWindow(const QString &title) = 0;

    /// Presses and releases the Windows (Super) key.
    virtual Outcome pressStartMenuKey() = 0;

    /// Alt+Tab: every key it presses is released again, so no key stays
    /// held for whatever the operator types next.
    virtual Outcome pressAltTab() = 0;

    /// Toggles the system's audio mute; it never sets a given state.
    /// A failure says why the mute could not be changed.
    virtual Outcome toggleMute() = 0;

    /// Opens the platform's file manager in its own window.
    virtual Outcome openFileManager() = 0;
};
