#pragma once

class Navigator;

/// A screen that shows the receive auto-save switch.
class AutoSaveDisplay
{
public:
    virtual ~AutoSaveDisplay() = default;
    virtual void displayAutoSave(bool on) = 0;
};

/// Shows the auto-save switch on every loaded screen that displays it;
/// screens that are not loaded pick the state up when they load.
namespace Moduicontrol {
void showAutoSaveState(Navigator &navigator, bool on);
}
