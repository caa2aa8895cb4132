#include "Moduicontrol.h"

#include "Navigator.h"

namespace Moduicontrol {

void showAutoSaveState(Navigator &navigator, bool on)
{
    for (QWidget *screen : navigator.loadedScreens())
        if (auto *display = dynamic_cast<AutoSaveDisplay *>(screen))
            display->displayAutoSave(on);
}

} // namespace Moduicontrol
