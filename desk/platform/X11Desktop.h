#pragma once

#include "Desktop.h"

/// The desktop on X11: windows found by exact title through the window
/// tree, keys through the XTest extension, the mute through the sound
/// server's command-line tools.
class X11Desktop : public Desktop
{
public:
    bool raiseWindow(const QString &title) override;
    Outcome pressStartMenuKey() override;
    Outcome pressAltTab() override;
    Outcome toggleMute() override;
    Outcome openFileManager() override;
};
