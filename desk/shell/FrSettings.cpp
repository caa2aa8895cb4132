#include "FrSettings.h"

#include "DeskContext.h"
#include "MainMenu.h"
#include "Navigator.h"
#include "SettingFiles.h"
#include "UnattendedStation.h"
#include "platform/Processes.h"
#include "WindowChrome.h"
#include "platform/Prompter.h"
#include "setup/DirChange.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

struct ShownSetting {
    const char *box;
    const char *label;
    SettingFile file;
    bool wholeLine;
};

// In the order they are shown.
const ShownSetting shownSettings[] = {
    {"Text3", "Receive File", Setting::ReceiveDir, false},
    {"Text2", "Send File", Setting::SendDir, false},
    {"Text1", "Save File", Setting::SaveDir, true},
    {"Text4", "WINTNC", Setting::WinTnc, false},
    {"Text5", "WINLINK", Setting::Winlink, false},
    {"Text6", "Serial  Port Splitter", Setting::Splitter, false},
    {"Text7", "Attachment File", Setting::AttachmentDir, false},
    {"Text8", "Soundmodem", Setting::Soundmodem, false},
    {"Text9", "Direwolf", Setting::Direwolf, false},
    {"Text10", "EasyTerm", Setting::EasyTerm, false},
    {"Text11", "VARAC", Setting::VarAc, false},
    {"Text12", "NPR Modem", Setting::NprModem, false},
};

} // namespace

FrSettings::FrSettings(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("frsettings"));
    setWindowTitle(QStringLiteral("settings"));
    auto *layout = makeScreenFrame<QGridLayout>(this);
    removeCaptionBar(this);

    auto *heading = makeHeading(
        this, "Label13",
        QStringLiteral("Showing the saved locations for files. If any are wrong click on Setup and Change location"), 14);
    heading->setWordWrap(true);
    layout->addWidget(heading, 0, 0, 1, 2);
    // Which folder the locations below are read from: an installed desk keeps them in the user's own.
    const QString folder = QDir::toNativeSeparators(m_context.files.programDirectory());
    auto *folderLine = new QLabel(m_context.files.inPerUserFolder()
                                      ? tr("Settings folder: %1 (your own, because the program's folder cannot be written)").arg(folder)
                                      : tr("Settings folder: %1 (the program's folder)").arg(folder),
                                  this);
    folderLine->setObjectName(QStringLiteral("settingsFolder"));
    folderLine->setWordWrap(true);
    layout->addWidget(folderLine, 1, 0, 1, 2);

    bool anyMissing = false;
    int row = 2;
    for (const ShownSetting &shown : shownSettings) {
        // A long location shows its start and its end, and whole as the tip.
        auto *box = new PathBox(this);
        box->setObjectName(QLatin1String(shown.box));
        box->setMinimumWidth(520);
        auto *label = new QLabel(QString::fromLatin1(shown.label), this);
        label->setBuddy(box);
        layout->addWidget(label, row, 0);
        layout->addWidget(box, row, 1);
        ++row;
        // A location that is missing leaves its box empty; the ones after it are still shown.
        const auto value = shown.wholeLine ? m_context.files.readLine(shown.file) : m_context.files.readField(shown.file);
        if (value)
            box->setText(*value);
        else
            anyMissing = true;
    }
    if (anyMissing)
        m_context.prompter.inform(QStringLiteral(" no file picked"));

    auto *backButton = makeColouredButton(this, "Command1", QStringLiteral("&RETURN to MAIN MENU"), {128, 255, 128});
    auto *setupButton = makeColouredButton(this, "Command2", QStringLiteral("Return to &Dir. Setup"), {255, 255, 128});
    layout->addWidget(backButton, row, 0);
    layout->addWidget(setupButton, row, 1);

    connect(backButton, &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<FrSettings>();
        returnToMainMenu(m_context);
    });
    connect(setupButton, &QPushButton::clicked, this, &FrSettings::returnToDirectorySetup);

    addUnattendedControls(layout, row + 1);
}

void FrSettings::addUnattendedControls(QGridLayout *layout, int row)
{
    UnattendedStation *station = m_context.unattended;
    if (!station)
        return;
    // Below the locations and their buttons, which keep their places.
    auto *repeat = new QComboBox(this);
    repeat->setObjectName(QStringLiteral("repeatAlert"));
    for (const int minutes : UnattendedSettings::repeatChoices())
        repeat->addItem(minutes == 0 ? tr("off (announce once)") : tr("every %n minute(s)", nullptr, minutes), minutes);
    repeat->setCurrentIndex(std::max(0, repeat->findData(station->settings().repeatMinutes)));
    auto *label = new QLabel(tr("Re&peat the arrival alert until a message is read"), this);
    label->setBuddy(repeat);
    layout->addWidget(label, row, 0);
    layout->addWidget(repeat, row, 1);
    // The station's other switches, stored in the same file the same way.
    struct Switch {
        const char *objectName;
        QString caption;
        bool UnattendedSettings::*field;
        QString what;
    };
    const Switch switches[] = {
        {"watchdogSwitch", tr("&Watch the programs the launcher starts or finds running"), &UnattendedSettings::watchdog,
         tr("watchdog")},
        {"notifySwitch", tr("Desktop &notification and tray icon on arrivals"), &UnattendedSettings::notify,
         tr("desktop notification")},
        {"logSwitch", tr("Write events to the &station log"), &UnattendedSettings::log, tr("station log")},
    };
    int next = row + 1;
    for (const Switch &shown : switches) {
        auto *box = new QCheckBox(shown.caption, this);
        box->setObjectName(QLatin1String(shown.objectName));
        box->setChecked(station->settings().*shown.field);
        layout->addWidget(box, next++, 0, 1, 2);
        connect(box, &QCheckBox::clicked, this, [this, station, box, field = shown.field, what = shown.what](bool on) {
            UnattendedSettings settings = station->settings();
            settings.*field = on;
            if (const Outcome stored = station->apply(settings); !stored) {
                // Shown as it still stands, so the box never claims what is not stored.
                box->setChecked(station->settings().*field);
                m_context.prompter.inform(tr("The %1 setting cannot be stored: %2").arg(what, stored.error()),
                                          Prompter::Icon::Exclamation);
            }
        });
    }
    auto *logButton = makeColouredButton(this, "stationLog", tr("Station &log"), {255, 255, 255});
    layout->addWidget(logButton, next, 0);

    connect(repeat, &QComboBox::activated, this, [this, station, repeat] {
        UnattendedSettings settings = station->settings();
        const int before = settings.repeatMinutes;
        settings.repeatMinutes = repeat->currentData().toInt();
        if (const Outcome stored = station->apply(settings); !stored) {
            // Shown as it still stands, so the box never claims what is not stored.
            repeat->setCurrentIndex(std::max(0, repeat->findData(before)));
            m_context.prompter.inform(tr("The repeat setting cannot be stored: %1").arg(stored.error()),
                                      Prompter::Icon::Exclamation);
        }
    });
    connect(logButton, &QPushButton::clicked, this, &FrSettings::openStationLog);
}

void FrSettings::openStationLog()
{
    UnattendedStation *station = m_context.unattended;
    const QString path = station->log().todaysPath();
    // A day without events has no log yet; opening it makes the first line.
    if (!QFileInfo::exists(path))
        station->record(tr("station log opened"));
    const QFileInfo log(path);
    if (!log.exists()) {
        m_context.prompter.inform(tr("The station log %1 cannot be made; see the message before.")
                                      .arg(QDir::toNativeSeparators(path)),
                                  Prompter::Icon::Exclamation);
        return;
    }
    if (const Outcome opened = m_context.processes.open(log.fileName(), log.absolutePath()); !opened)
        m_context.prompter.inform(tr("The station log cannot be opened: %1").arg(opened.error()),
                                  Prompter::Icon::Exclamation);
}

void FrSettings::returnToDirectorySetup()
{
    if (!m_context.prompter.ask(
            QStringLiteral("This will cause you to do a total test cycle again. Yes to continue, No to cancel."),
            QStringLiteral("Confirmation"), Prompter::Icon::Exclamation))
        return;
    Navigator &navigator = m_context.navigator;
    navigator.unload<FrSettings>();
    navigator.unload<MainMenu>();
    navigator.unload<DirChange>();
    navigator.open<DirChange>();
}
