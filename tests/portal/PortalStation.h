#pragma once

#include "DataLink.h"
#include "FileSoundSetting.h"
#include "FileStationStore.h"
#include "FileTransferLog.h"
#include "PortalFakes.h"
#include "PortalSetup.h"
#include "ProcSocketList.h"
#include "SettingFolder.h"
#include "SettingsStationIdStore.h"
#include "TAVRIXTelnetserver.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

/// One portal with a home folder of its own: outbox, receive folder and
/// program folder inside it, fake speech, message boxes and desktop. The
/// setting files are real files in the program folder, unless a test
/// points a port at a fake before start().
struct PortalStation
{
    PortalStation(quint16 listenPort, quint16 peerPort, quint16 modemPort = 0)
    {
        setup.listenPort = listenPort;
        setup.peerPort = peerPort;
        setup.modemAddress = QStringLiteral("127.0.0.1");
        setup.modemPort = modemPort;
        setup.sendDirectory = home.filePath(QStringLiteral("mail send"));
        setup.receiveDirectory = home.filePath(QStringLiteral("mail Receive"));
        setup.programDirectory = home.filePath(QStringLiteral("program"));
        QDir().mkpath(setup.sendDirectory);
        QDir().mkpath(setup.programDirectory);
    }

    void start()
    {
        const SettingFolder folder(setup.programDirectory, userFolder(),
                                   [this](const QString &) { return programFolderWritable; });
        soundFile = std::make_unique<FileSoundSetting>(folder.soundSettingPath());
        stationFile = std::make_unique<FileStationStore>(folder.stationListPath());
        logFile = std::make_unique<FileTransferLog>(folder.path(FileTransferLog::fileName(), SettingFolder::Form::Separated));
        window = std::make_unique<TAVRIXTelnetserver>(
            setup, PortalPorts{speaker, prompter, desktop, sockets ? *sockets : procSockets,
                               sound ? *sound : *soundFile, stationId ? *stationId : settingsStationId,
                               stations ? *stations : *stationFile, transferLog ? *transferLog : *logFile});
    }
    QString stationListPath() const { return stationFile->path(); }
    QString soundSettingPath() const { return soundFile->path(); }
    /// Where the settings go when the program folder cannot be written.
    QString userFolder() const { return home.filePath(QStringLiteral("user data/tavrix/portal/bin")); }

    template<typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QString text(const char *name) const { return find<QPlainTextEdit>(name)->toPlainText(); }
    void click(const char *name) const { find<QPushButton>(name)->click(); }
    DataLink &link() const { return window->dataLink(); }

    void putInOutbox(const QString &name, const QByteArray &content, int ageSeconds = 0) const
    {
        QFile file(QDir(setup.sendDirectory).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        QVERIFY(file.flush()); // a later flush would stamp the file with the present time
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    }
    QByteArray received(const QString &name) const
    {
        return TestFiles::read(QDir(setup.receiveDirectory).filePath(name), "<missing>");
    }
    void sendTo(const QString &address) const
    {
        find<QLineEdit>("Txtremoteip")->setText(address);
        click("commandsend");
    }

    QTemporaryDir home;
    PortalSetup setup;
    FakeSpeaker speaker;
    FakePrompter prompter;
    FakeDesktop desktop;
    /// Ports a test may point at fakes; unset ones use the real adapters.
    SocketList *sockets = nullptr;
    SoundSetting *sound = nullptr;
    StationIdStore *stationId = nullptr;
    StationStore *stations = nullptr;
    TransferLogStore *transferLog = nullptr;
    /// What the check of the program folder answers.
    bool programFolderWritable = true;
    ProcSocketList procSockets;
    SettingsStationIdStore settingsStationId;
    std::unique_ptr<FileSoundSetting> soundFile;
    std::unique_ptr<FileStationStore> stationFile;
    std::unique_ptr<FileTransferLog> logFile;
    std::unique_ptr<TAVRIXTelnetserver> window;
};

/// Two portals on loopback, each one's peer the other's listening port: the
/// fixture of the tests that talk portal to portal. Their test object derives
/// from it, opens the pair in init() and closes it in cleanup().
class StationPair
{
protected:
    void openPair()
    {
        const quint16 portA = freePort();
        const quint16 portB = freePort();
        m_a = std::make_unique<PortalStation>(portA, portB);
        m_b = std::make_unique<PortalStation>(portB, portA);
        m_a->start();
        m_b->start();
    }
    bool pairListening() const { return m_a->link().isListening() && m_b->link().isListening(); }
    void closePair()
    {
        m_a.reset();
        m_b.reset();
    }

    std::unique_ptr<PortalStation> m_a;
    std::unique_ptr<PortalStation> m_b;
};
