#include "Rodiruverezer.h"

#include "ProgramPath.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Modsoundcontrol.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"
#include "shell/WindowChrome.h"
#include "shell/WindowHandOver.h"
#include "platform/Desktop.h"
#include "platform/Processes.h"
#include "platform/Prompter.h"
#include "platform/Speaker.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

/// How a program is started: by running its file, or by asking the desktop
/// to open it in its own directory.
enum class LaunchWay { Run, Open };

/// The heading a program's buttons stand under.
enum class Panel { CommunicationCenter, ModemCenter };

/// One outside program with its pair of buttons. In the message texts,
/// "<name>" stands for the program's file name.
struct LaunchedProgram {
    Panel panel;
    const char *startButton;
    const char *startCaption;
    const char *resetButton;
    const char *resetCaption;
    SettingFile pathFile;
    SettingFile stateFile;
    LaunchWay way;
    const char *spokenRunning;
    const char *spokenStarted;
    const char *failure;
    const char *success;
    const char *question;
    const char *spokenReset;
    const char *spokenCancelled;
    const char *shownReset;
};

namespace {

constexpr const char *runFailure = "Failed to launch <name>. Check the drive or path.";
constexpr const char *openFailure = "Failed to launch <name>. Check the path or config.";
constexpr const char *namedSuccess = "<name> launched successfully.";

// On screen in this order, each under its panel's heading.
const LaunchedProgram programs[] = {
    {Panel::CommunicationCenter,
     "Command1", "&WINTNC", "Command3", "&Reset WINTNC", Setting::WinTnc, Setting::WinTncButton, LaunchWay::Run,
     "WINTNC is already running", "WINTNC launched successfully", runFailure, namedSuccess,
     "Do you want to reset WINTNC?", "WINTNC has been reset", "Reset Cancelled", "WINTNC has been reset."},
    {Panel::CommunicationCenter,
     "Command2", "WINLIN&K", "Command9", "Reset WIN&LINK", Setting::Winlink, Setting::WinlinkButton, LaunchWay::Run,
     "WINLINK is already running", "winlink launched successfully", runFailure, namedSuccess,
     "Do you want to reset WINLINK?", "WINLINK has been reset", "Reset Cancelled", "WINLINK has been reset."},
    {Panel::CommunicationCenter,
     "Command4", "So&undmodem", "Command8", "Reset  &Soundmodem", Setting::Soundmodem, Setting::SoundmodemButton,
     LaunchWay::Run, "Soundmodem is already running", "Soundmodem launched successfully",
     "Failed to launch Soundmodem. Check the drive or path.", "Soundmodem launched successfully.",
     "Do you want to reset Soundmodem?", "soundmodem has been reset", "Reset Cancelled", "Soundmodem has been reset."},
    {Panel::CommunicationCenter,
     "Command11", "Dir&ewolf", "Command12", "Reset Direw&olf", Setting::Direwolf, Setting::DirewolfButton,
     LaunchWay::Open, "Direwolf is already running", "Direwolf launched successfully", openFailure, namedSuccess,
     "Do you want to reset Direwolf?", "Direwolf has been reset", "reset cancelled", "Direwolf has been reset."},
    {Panel::CommunicationCenter,
     "Command14", "VARA&C", "Command15", "Reset &VARAC", Setting::VarAc, Setting::VarAcButton, LaunchWay::Run,
     "VARA is already running", "VARA launched successfully", runFailure, namedSuccess,
     "Do you want to reset VARAC?", "VARAC has been reset", "Reset Cancelled", "VARAC has been reset."},
    {Panel::CommunicationCenter,
     "Easyterm", "Easyter&m", "reseteasy", "Reset Eas&yterm", Setting::EasyTerm, Setting::EasyTermButton,
     LaunchWay::Run, "EASYTERM is already running", "Easyterm launched successfully", runFailure, namedSuccess,
     "Do you want to reset EASYTERM?", "EASYTERM has been reset", "Reset Cancelled", "EASYTERM has been reset."},
    {Panel::ModemCenter,
     "Command16", "&NPR Modem", "Command17", "Reset N&PR", Setting::NprModem, Setting::NprModemButton, LaunchWay::Open,
     "NPR Modem is already running", "NPR Modem launched successfully", openFailure, namedSuccess,
     "Do you want to reset NPR Modem?", "NPR Modem has been reset", "reset cancelled", "NPR Modem has been reset."},
    {Panel::ModemCenter,
     "serialswitch", "E&terlogic Serial Splitter", "resetsplitter", "Reset Splitter", Setting::Splitter,
     Setting::SplitterButton, LaunchWay::Open, "Splitter is already running", "Splitter launched successfully",
     openFailure, namedSuccess, "Do you want to reset Splitter?", "Splitter has been reset", "reset cancelled",
     "Splitter has been reset."},
};

const QColor startColour{128, 255, 128};
const QColor resetColour{255, 192, 128};

QString withName(const char *text, const QString &name)
{
    return QString::fromLatin1(text).replace(QStringLiteral("<name>"), name);
}

QString fileNotFound(const QString &path)
{
    return QObject::tr("File not found: %1").arg(QDir::toNativeSeparators(path));
}

QLabel *makeNote(QWidget *parent, const char *objectName, const char *text)
{
    auto *label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QLatin1String(objectName));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(11);
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

Rodiruverezer::Rodiruverezer(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("RODIRUVEREZER"));
    setWindowTitle(QStringLiteral("RODIRUVEREZER"));
    auto *layout = makeScreenFrame<QGridLayout>(this, screenMargins::launcher);

    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(8);

    // Left half: the programs, a start and a reset button each.
    layout->addWidget(makeHeading(this, "Label2", QStringLiteral("Communication Center"), 20), 0, 0, 1, 2);
    int row = 1;
    Panel panel = Panel::CommunicationCenter;
    for (const LaunchedProgram &program : programs) {
        if (program.panel != panel) {
            panel = program.panel;
            layout->addWidget(makeHeading(this, "Label4", QStringLiteral("Modem Center"), 20), row++, 0, 1, 2);
        }
        auto *start = makeColouredButton(this, program.startButton, QString::fromLatin1(program.startCaption),
                                         startColour, 11);
        auto *reset = makeColouredButton(this, program.resetButton, QString::fromLatin1(program.resetCaption),
                                         resetColour, 11);
        start->setMinimumWidth(240);
        reset->setMinimumWidth(200);
        layout->addWidget(start, row, 0);
        layout->addWidget(reset, row, 1);
        connect(start, &QPushButton::clicked, this, [this, &program] { startProgram(program); });
        connect(reset, &QPushButton::clicked, this, [this, &program] { resetProgram(program); });
        ++row;
    }
    const int lastRow = row - 1;
    // Twenty-two buttons and twenty-one letters in all their captions: the
    // splitter's reset, the one least used, takes a digit, named in its tool tip.
    auto *splitterReset = button("resetsplitter");
    splitterReset->setShortcut(QKeySequence(Qt::ALT | Qt::Key_0));
    splitterReset->setToolTip(QKeySequence(Qt::ALT | Qt::Key_0).toString(QKeySequence::NativeText));

    // Right half: the outbox and the hand-over buttons.
    layout->addWidget(makeHeading(this, "Label1", QStringLiteral("Message to be Sent"), 16), 0, 2, 1, 2);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("File1"));
    m_list->setMinimumWidth(360);
    useListFont(m_list);
    layout->addWidget(m_list, 1, 2, 4, 2);
    auto *deleteOne = makeColouredButton(this, "Command6", QStringLiteral("Delete a &File"), {255, 255, 255}, 11);
    auto *deleteAllButton = makeColouredButton(this, "Command7", QStringLiteral("&Delete All"), {255, 128, 128}, 11);
    layout->addWidget(deleteOne, 5, 2);
    layout->addWidget(deleteAllButton, 5, 3);
    auto *packetProgram = makeColouredButton(this, "Command13", QStringLiteral("Open Packet Pro&gram to Send Message"),
                                             {255, 255, 128}, 11);
    auto *portal = makeColouredButton(this, "Command18",
                                      QStringLiteral("     Open NPR     Send Message v&ia NPR System"),
                                      {128, 255, 128}, 11);
    auto *altTab = makeColouredButton(this, "Command10", QStringLiteral("&ALT/TAB"), {255, 255, 255}, 11);
    auto *exitButton = makeColouredButton(this, "Command5", QStringLiteral("E&XIT"), modUIColorPalette::red, 11);
    layout->addWidget(packetProgram, 6, 2, 1, 2);
    layout->addWidget(portal, 7, 2, 1, 2);
    layout->addWidget(makeNote(this, "Label3",
                               "Use Alt/Tab button to look at other programs that are running Use Arrow keys to "
                               "move to your program ."),
                      8, 2, 1, 2);
    layout->addWidget(altTab, 9, 2);
    layout->addWidget(exitButton, lastRow, 3);
    layout->addWidget(makeNote(this, "Label5",
                               "       Use the ALT Key on Keyboad to make your selection.        Do not use Enter "
                               "Key "),
                      lastRow + 1, 0, 1, 4);
    addWatchdogNotice(layout, lastRow + 2);

    connect(deleteOne, &QPushButton::clicked, this, &Rodiruverezer::deleteSelectedFile);
    connect(deleteAllButton, &QPushButton::clicked, this, &Rodiruverezer::deleteAll);
    connect(packetProgram, &QPushButton::clicked, this, [this] { WindowHandOver::raisePacketProgram(m_context); });
    connect(portal, &QPushButton::clicked, this, [this] { WindowHandOver::raisePortal(m_context); });
    connect(altTab, &QPushButton::clicked, this, &Rodiruverezer::pressAltTab);
    connect(exitButton, &QPushButton::clicked, this, &Rodiruverezer::exitToMainMenu);

    // Load steps.
    restoreButtonStates();
    showOutbox();
    removeCaptionBar(this);
}

QPushButton *Rodiruverezer::button(const char *objectName) const
{
    return findChild<QPushButton *>(QLatin1String(objectName));
}

void Rodiruverezer::say(const char *phrase)
{
    if (Modsoundcontrol(m_context.files).isSoundOn())
        m_context.speaker.speak(QString::fromLatin1(phrase));
}

void Rodiruverezer::restoreButtonStates()
{
    // A missing file, or one that holds no truth value, leaves the button as designed.
    for (const LaunchedProgram &program : programs) {
        if (!m_context.files.exists(program.stateFile))
            continue;
        if (const auto enabled = m_context.files.readTruth(program.stateFile))
            button(program.startButton)->setEnabled(*enabled);
    }
}

void Rodiruverezer::showOutbox()
{
    // Without a stored send directory the list shows nothing at all, never
    // some other folder whose files DeleteAllFiles would then remove.
    if (!m_context.files.exists(Setting::SendDir))
        return;
    if (const auto line = m_context.files.readLine(Setting::SendDir))
        m_outbox = Outbox(line->trimmed());
    refreshList();
}

void Rodiruverezer::refreshList()
{
    m_list->clear();
    m_list->addItems(m_outbox.fileNames().value());
}

void Rodiruverezer::startProgram(const LaunchedProgram &program)
{
    auto fail = [this](const QString &description) {
        m_context.prompter.inform(QStringLiteral("Error: ") + description, Prompter::Icon::Critical);
    };
    const auto stored = m_context.files.readField(program.pathFile);
    if (!stored)
        return fail(fileNotFound(m_context.files.path(program.pathFile)));
    const QString path = *stored;
    const QString name = ProgramPath::fileName(path);

    QString result;
    // How the program will be watched: its process id, or a search by name.
    enum class Found { Running, Started, Opened } found = Found::Running;
    qint64 pid = 0;
    if (m_context.processes.isRunning(name)) {
        say(program.spokenRunning);
        result = name + QStringLiteral(" is already running.");
    } else {
        Outcome started;
        if (program.way == LaunchWay::Run) {
            // A value that names no program file ("blank" when none was chosen).
            if (!QFileInfo(path).isFile())
                return fail(fileNotFound(path));
            const Result<qint64> run = m_context.processes.start(path);
            started = run.outcome();
            pid = run.value();
            found = Found::Started;
        } else {
            const auto directory = ProgramPath::directory(path);
            if (!directory)
                return fail(tr("\"%1\" is not the full path of a program").arg(path));
            started = m_context.processes.open(name, *directory);
            found = Found::Opened;
        }
        if (!started) {
            // Nothing runs, so the button stays usable for another try once
            // the path is put right; the system's reason says what to put right.
            m_context.prompter.inform(withName(program.failure, name) + QStringLiteral("\n\n") + started.error(),
                                      Prompter::Icon::Exclamation);
            record(tr("launcher could not start %1: %2").arg(name, started.error()));
            return;
        }
        say(program.spokenStarted);
        result = withName(program.success, name);
    }
    m_context.prompter.inform(result, Prompter::Icon::Information);

    button(program.startButton)->setEnabled(false);
    if (const Outcome stored = m_context.files.writePrintLine(program.stateFile, false); !stored)
        fail(stored.error());
    // Watched only once its state is stored: an end seen earlier would be
    // overwritten by the "running" state.
    watch(program, name, found == Found::Running ? -1 : found == Found::Started ? pid : 0);
}

void Rodiruverezer::addWatchdogNotice(QGridLayout *layout, int row)
{
    UnattendedStation *station = m_context.unattended;
    if (!station)
        return;
    // Below everything, so no control of the launcher moves.
    m_watchdogNotice = makeNote(this, "watchdogNotice", "");
    m_watchdogNotice->setStyleSheet(QStringLiteral("color: red;"));
    // Its room is kept from the start, so a stop never squeezes the screen.
    QSizePolicy policy = m_watchdogNotice->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_watchdogNotice->setSizePolicy(policy);
    m_watchdogNotice->setMinimumHeight(m_watchdogNotice->fontMetrics().lineSpacing());
    m_watchdogNotice->hide();
    layout->addWidget(m_watchdogNotice, row, 0, 1, 4);
    connect(&station->watchdog(), &LauncherWatchdog::programStopped, this,
            [this](const QString &stateFileName, const QString &notice) {
                for (const LaunchedProgram &program : programs)
                    if (QLatin1String(program.stateFile.name) == stateFileName)
                        button(program.startButton)->setEnabled(true);
                showWatchdogNotice(notice);
            });
}

void Rodiruverezer::showWatchdogNotice(const QString &text)
{
    if (!m_watchdogNotice)
        return;
    // The latest few, newest last: a second stop does not hide the first.
    QStringList lines = m_watchdogNotice->text().split(u'\n', Qt::SkipEmptyParts);
    lines << text;
    m_watchdogNotice->setText(lines.mid(std::max<qsizetype>(0, lines.size() - 3)).join(u'\n'));
    m_watchdogNotice->show();
}

void Rodiruverezer::watch(const LaunchedProgram &program, const QString &name, qint64 pid)
{
    UnattendedStation *station = m_context.unattended;
    if (!station)
        return;
    const LauncherWatchdog::Program watched{name, program.stateFile};
    if (pid == 0) {
        station->record(tr("launcher opened %1").arg(name));
        station->watchdog().lookFor(watched);
        return;
    }
    station->record(pid > 0 ? tr("launcher started %1 (process %2)").arg(name).arg(pid)
                            : tr("launcher found %1 running").arg(name));
    if (!station->settings().watchdog)
        return;
    const auto way = pid > 0 ? station->watchdog().watchStarted(watched, pid) : station->watchdog().watchFound(watched);
    if (!way) {
        // Said, not hidden: the operator must not count on a stop being noticed.
        showWatchdogNotice(tr("%1 is not watched: %2").arg(name, way.error()));
        station->record(tr("%1 is not watched: %2").arg(name, way.error()));
    }
}

void Rodiruverezer::record(const QString &event)
{
    if (m_context.unattended)
        m_context.unattended->record(event);
}

void Rodiruverezer::resetProgram(const LaunchedProgram &program)
{
    if (!m_context.prompter.ask(QString::fromLatin1(program.question), QStringLiteral("Reset Confirmation"),
                                Prompter::Icon::Question)) {
        say(program.spokenCancelled);
        m_context.prompter.inform(QStringLiteral("Reset cancelled."), Prompter::Icon::Information);
        return;
    }
    button(program.startButton)->setEnabled(true);
    if (const Outcome stored = m_context.files.writeRecord(program.stateFile, true); !stored)
        m_context.prompter.inform(QStringLiteral("Error: ") + stored.error(), Prompter::Icon::Critical);
    say(program.spokenReset);
    record(tr("launcher reset %1").arg(QString::fromLatin1(program.startCaption).remove(u'&')));
    m_context.prompter.inform(QString::fromLatin1(program.shownReset), Prompter::Icon::Information);
}

void Rodiruverezer::recordDeletion(const QString &name, const Result<QString> &removal)
{
    if (!removal)
        record(tr("outbox file %1 not deleted: %2").arg(name, removal.error()));
    else if (removal->isEmpty())
        record(tr("deleted outbox file %1 for good (no trash)").arg(name));
    else
        record(tr("deleted outbox file %1 to the trash: %2").arg(name, QDir::toNativeSeparators(*removal)));
}

int Rodiruverezer::DeleteAllFiles()
{
    // Read the folder afresh: a launcher loaded earlier would otherwise
    // miss files posted since, and the outbox must end up empty.
    const Result<QStringList> names = m_outbox.fileNames();
    if (!names) {
        m_context.prompter.inform(QStringLiteral("An error occurred: ") + names.error(), Prompter::Icon::Critical);
        return 0;
    }
    // Every name listed at the start is tried once, whatever fails on the way.
    int trashed = 0;
    for (const QString &name : *names) {
        const Result<QString> removal = Outbox::discard(m_outbox.filePath(name));
        recordDeletion(name, removal);
        if (!removal)
            m_context.prompter.inform(QStringLiteral("Error deleting file: ") + removal.error(),
                                      Prompter::Icon::Exclamation);
        else if (!removal->isEmpty())
            ++trashed;
    }
    refreshList();
    return trashed;
}

void Rodiruverezer::deleteSelectedFile()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->isSelected()) {
        m_context.prompter.inform(QStringLiteral("No file selected to delete."), Prompter::Icon::Exclamation);
        return;
    }
    // Neither delete button asks first, so a slip of the finger must not
    // cost an unsent message: it goes to the trash like the automatic emptying.
    const Result<QString> removal = Outbox::discard(m_outbox.filePath(item->text()));
    recordDeletion(item->text(), removal);
    if (removal)
        m_context.prompter.inform(QStringLiteral("File deleted successfully."), Prompter::Icon::Information);
    else
        m_context.prompter.inform(QStringLiteral("Error deleting file: ") + removal.error(),
                                  Prompter::Icon::Exclamation);
    refreshList();
}

void Rodiruverezer::deleteAll()
{
    const auto field = m_context.files.readField(Setting::SendDir);
    if (!field) {
        m_context.prompter.inform(QStringLiteral("Unexpected error: ")
                                      + fileNotFound(m_context.files.path(Setting::SendDir)),
                                  Prompter::Icon::Critical);
        return;
    }
    const Outbox outbox(field->trimmed());
    const QString pattern = QDir::toNativeSeparators(outbox.filePath(QStringLiteral("*.*")));
    m_context.prompter.inform(QStringLiteral("Attempting to delete files in: ") + pattern);

    QStringList failures;
    if (!outbox.isSet()) {
        // An empty or relative value would point at the working directory.
        failures << tr("no send directory is set");
    } else if (!outbox.exists()) {
        failures << tr("Path not found: %1").arg(QDir::toNativeSeparators(outbox.directory()));
    } else {
        const Result<QStringList> names = outbox.fileNames();
        if (!names)
            failures << names.error();
        else if (names->isEmpty())
            failures << fileNotFound(pattern);
        for (const QString &name : names.value()) {
            const Result<QString> removal = Outbox::discard(outbox.filePath(name));
            recordDeletion(name, removal);
            if (!removal)
                failures << removal.error();
        }
    }
    if (failures.isEmpty())
        m_context.prompter.inform(QStringLiteral("All files in the directory have been deleted."),
                                  Prompter::Icon::Information);
    else
        m_context.prompter.inform(QStringLiteral("Error deleting files: ") + failures.join(QStringLiteral("; ")),
                                  Prompter::Icon::Critical);

    // A fresh launcher reads the folder and the button states anew.
    Navigator &navigator = m_context.navigator;
    navigator.unload<Rodiruverezer>();
    navigator.open<Rodiruverezer>();
}

void Rodiruverezer::pressAltTab()
{
    if (const Outcome pressed = m_context.desktop.pressAltTab(); !pressed)
        m_context.prompter.inform(tr("The task switcher could not be opened: %1").arg(pressed.error()),
                                  Prompter::Icon::Exclamation);
}

void Rodiruverezer::exitToMainMenu()
{
    DeskContext &context = m_context;
    context.navigator.unload<Rodiruverezer>();
    returnToMainMenu(context);
}
