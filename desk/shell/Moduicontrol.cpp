#include "Moduicontrol.h"

#include "DeskContext.h"
#include "Modsavemodule.h"
#include "Navigator.h"
#include "WindowChrome.h"

#include <QCheckBox>

namespace Moduicontrol {

void showAutoSaveState(Navigator &navigator, bool on)
{
    for (QWidget *screen : navigator.loadedScreens())
        if (auto *display = dynamic_cast<AutoSaveDisplay *>(screen))
            display->displayAutoSave(on);
}

void switchAutoSave(DeskContext &context, bool on)
{
    showAutoSaveState(context.navigator, on);
    // A failed store is skipped: the screens show the switch all the same.
    static_cast<void>(Modsavemodule(context.files, context.clock).storeAutoSaveSetting(on));
}

void paintAutoSaveControls(QCheckBox *check, QAbstractButton *button, bool on)
{
    const QString caption = on ? QStringLiteral("Receive Auto Save ON") : QStringLiteral("Receive Auto Save OFF");
    const QColor colour = on ? modUIColorPalette::onColour : modUIColorPalette::offColour;
    check->setChecked(on);
    check->setText(caption);
    setBackground(check, colour);
    setCaptionKeepingMnemonic(button, caption);
    setBackground(button, colour);
}

} // namespace Moduicontrol
