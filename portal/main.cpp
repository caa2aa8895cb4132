#include "FileSoundSetting.h"
#include "FileStationStore.h"
#include "FileTransferLog.h"
#include "FliteSpeaker.h"
#include "MessageBoxPrompter.h"
#include "PortalSetup.h"
#include "ProcSocketList.h"
#include "RadioSetting.h"
#include "SettingFolder.h"
#include "SettingsStationIdStore.h"
#include "TAVRIXTelnetserver.h"
#include "X11PortalDesktop.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("telnet server"));

    // The ports and the modem's address are PortalSetup's own defaults.
    PortalSetup setup;
    // The home folder stands for the drive root of the original folders.
    setup.sendDirectory = QDir::home().filePath(QStringLiteral("mail send"));
    setup.receiveDirectory = QDir::home().filePath(QStringLiteral("mail Receive"));
    setup.programDirectory = QCoreApplication::applicationDirPath();

    FliteSpeaker speaker;
    MessageBoxPrompter prompter;
    X11PortalDesktop desktop;
    ProcSocketList sockets;
    // An installed program's folder is not the user's to write: its setting files go to the user's own folder.
    const SettingFolder settings(setup.programDirectory, SettingFolder::userFolder(), SettingFolder::canWriteIn);
    FileSoundSetting sound(settings.soundSettingPath());
    SettingsStationIdStore stationId;
    FileStationStore stations(settings.stationListPath());
    FileTransferLog transferLog(settings.path(FileTransferLog::fileName(), SettingFolder::Form::Separated));
    TAVRIXTelnetserver window(setup, {speaker, prompter, desktop, sockets, sound, stationId, stations, transferLog});
    prompter.setParentWindow(&window);
    RadioSetting radio(settings.path(RadioSetting::fileName(), SettingFolder::Form::Separated));
    window.setRadioSetting(&radio);
    QObject::connect(&speaker, &FliteSpeaker::unavailable, &window, [&window](const QString &reason) {
        window.PrependConnectionStatus(QStringLiteral("Spoken announcements are not available (%1); "
                                                      "the portal goes on without a voice.")
                                           .arg(reason));
    });
    if (!settings.besideProgram())
        window.PrependConnectionStatus(settings.notice());
    window.show();
    return QApplication::exec();
}
