#include "platform/DesktopNotifier.h"
#include "platform/LinuxProcessWatch.h"
#include "platform/LinuxProcesses.h"
#include "platform/QtFilePicker.h"
#include "platform/QtPrompter.h"
#include "platform/SystemClock.h"
#include "platform/TtsSpeaker.h"
#include "platform/X11Desktop.h"
#include "receive/SaveForm.h"
#include "shell/DeskContext.h"
#include "shell/EnterForm.h"
#include "shell/Navigator.h"
#include "shell/RaiseListener.h"
#include "shell/MainMenu.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The application title by which the portal finds the desk.
    const QString applicationTitle = QStringLiteral("VARUVO DARE1");
    QApplication::setApplicationName(applicationTitle);

    // An installed desk cannot write beside itself; its settings then live in
    // a folder of the user's own that takes the program folder's place.
    const QString perUserFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                  + QStringLiteral("/tavrix/desk/bin");
    SettingFiles files(chooseSettingsHome(QCoreApplication::applicationDirPath(), perUserFolder), QDir::currentPath());
    QtPrompter prompter(applicationTitle);
    TtsSpeaker speaker(prompter);
    X11Desktop desktop;
    LinuxProcesses processes;
    QtFilePicker filePicker;
    SystemClock clock;
    Navigator navigator;
    DeskContext context{files, prompter, speaker, desktop, processes, filePicker, clock, navigator,
                        [] { QCoreApplication::exit(0); }};
    navigator.setContext(context);
    // Saved and received mail is read in the background from the start, so
    // the first search finds it read.
    SaveForm::searchCache(context);

    // What an unattended station adds: the repeating alert, notifications,
    // the launcher's watchdog and the station log.
    DesktopNotifier notifier(applicationTitle);
    LinuxProcessWatch processWatch;
    UnattendedStation unattended(files, clock, speaker, prompter, notifier, processWatch);
    unattended.alert().startTicking();
    context.unattended = &unattended;
    QObject::connect(&unattended, &UnattendedStation::frontRequested, &app, [&navigator] {
        // The main menu when it is loaded, else the screen the operator is on.
        QWidget *front = navigator.loaded<MainMenu>();
        if (!front || !front->isVisible())
            front = QApplication::activeWindow();
        for (QWidget *window : QApplication::topLevelWidgets())
            if (!front && window->isVisible())
                front = window;
        if (front) {
            front->showNormal();
            front->raise();
            front->activateWindow();
        }
    });

    RaiseListener raiseListener(navigator, applicationTitle);
    navigator.open<EnterForm>();
    return app.exec();
}
