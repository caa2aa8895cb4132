#include "platform/LinuxProcesses.h"
#include "platform/QtFilePicker.h"
#include "platform/QtPrompter.h"
#include "platform/SystemClock.h"
#include "platform/TtsSpeaker.h"
#include "platform/X11Desktop.h"
#include "shell/DeskContext.h"
#include "shell/EnterForm.h"
#include "shell/Navigator.h"
#include "shell/RaiseListener.h"
#include "shell/SettingFiles.h"

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

    RaiseListener raiseListener(navigator, applicationTitle);
    navigator.open<EnterForm>();
    return app.exec();
}
