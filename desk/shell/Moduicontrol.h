#pragma once

struct DeskContext;
class Navigator;
class QAbstractButton;
class QCheckBox;

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

/// The operator turned the switch: show it everywhere and store it.
void switchAutoSave(DeskContext &context, bool on);

/// Gives a screen's switch controls the caption and colour of the state.
void paintAutoSaveControls(QCheckBox *check, QAbstractButton *button, bool on);
}
