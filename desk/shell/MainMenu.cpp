#include "MainMenu.h"

#include "DeskContext.h"
#include "EnterForm.h"
#include "Modsavemodule.h"
#include "Modsoundcontrol.h"
#include "Navigator.h"
#include "SettingFiles.h"
#include "UnattendedStation.h"
#include "WindowChrome.h"
#include "WindowHandOver.h"
#include "FrSettings.h"
#include "compose/FrmDecide.h"
#include "compose/MailForm.h"
#include "compose/MailPosting.h"
#include "compose/MessageFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/Received.h"
#include "receive/SaveForm.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Prompter.h"
#include "platform/Speaker.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

namespace {


struct ButtonSpec {
    const char *name;
    const char *caption;
    QColor colour;
    int row;
    int column;
};

// Three columns: working screens, shell conveniences, switches.
const ButtonSpec buttonSpecs[] = {
    {"PACKETMAIL", "&Packet Mail Form", {255, 255, 128}, 0, 0},
    {"SEND", "&Communication Center", {128, 128, 255}, 1, 0},
    {"RECEIVE", "&Read Inbox", {255, 192, 128}, 2, 0},
    {"RETRIEVE", "Retrieve Saved &Message", {255, 192, 128}, 3, 0},
    {"SETTINGS", "&SETTINGS", {255, 128, 0}, 4, 0},
    {"Explorer", "Windows &File Explorer", {255, 255, 255}, 0, 1},
    {"cmdopenstartmenu", " &Windows Start Menu", {255, 255, 255}, 1, 1},
    {"checktnc", "C&heck Running Packet Program", {255, 255, 128}, 2, 1},
    {"CmdNPRSYSTEM", "       Open &NPR         System", {128, 255, 128}, 3, 1},
    {"cmdsoundtoggle", "        S&ound On        Sound Off", {128, 255, 255}, 0, 2},
    {"cmdAutoSaveToggle", "        &Autosave for            Received File        On or Off", {192, 192, 255}, 1, 2},
    {"testprogram", "Mandatory &Test Prior to Running Program", {192, 192, 192}, 5, 0},
    {"exit", "E&XIT", {255, 0, 0}, 5, 2},
};

// Long captions are laid out in padded words that stack on a narrow
// button; the padding becomes line breaks so each word group shows whole.
QString stackedCaption(const QString &caption)
{
    static const QRegularExpression padding(QStringLiteral("\\s{3,}"));
    return caption.contains(padding) ? caption.trimmed().replace(padding, QStringLiteral("\n")) : caption;
}

// A reader still on screen closes as its own exit would close it: with
// auto-save on, the mail it shows is archived first, so it is not lost
// from view unsaved.
void closeReader(DeskContext &context)
{
    auto *reader = context.navigator.loaded<InboxForm>();
    if (!reader)
        return;
    const Modsavemodule archive(context.files, context.clock);
    if (reader->isVisible() && archive.storedAutoSave().value_or(false)) {
        if (const Outcome saved = archive.saveReceivedMessage(reader->fields()); !saved)
            context.prompter.inform(saved.error(), Prompter::Icon::Exclamation);
    }
    context.navigator.unload<InboxForm>();
}

} // namespace

MainMenu::MainMenu(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("mainmenu"));
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    layout->setSpacing(12);

    auto *title = makeHeading(this, "lbmainmenu", QStringLiteral("Main Menu"), 30);
    setPanelColour(title, palette().color(QPalette::Base));
    layout->addWidget(title, 0, 0, 1, 3);
    m_arrivalFirst = makeHeading(this, "Label1", QString(), 24);
    layout->addWidget(m_arrivalFirst, 1, 0, 1, 3);
    m_arrivalSecond = makeHeading(this, "Label2", QString(), 18);
    m_arrivalSecond->setStyleSheet(QStringLiteral("color: red;"));
    // The warning wraps inside the menu instead of widening it past the display.
    m_arrivalSecond->setWordWrap(true);
    layout->addWidget(m_arrivalSecond, 2, 0, 1, 3);
    // The notice's room is kept while it is hidden or blinks, so the
    // heading and the buttons never jump; the warning has room for two lines.
    for (QLabel *line : {m_arrivalFirst, m_arrivalSecond}) {
        QSizePolicy policy = line->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        line->setSizePolicy(policy);
    }
    m_arrivalFirst->setMinimumHeight(m_arrivalFirst->fontMetrics().lineSpacing());
    m_arrivalSecond->setMinimumHeight(2 * m_arrivalSecond->fontMetrics().lineSpacing());

    for (const ButtonSpec &spec : buttonSpecs) {
        auto *button = makeColouredButton(this, spec.name, stackedCaption(QString::fromLatin1(spec.caption)), spec.colour);
        // A caption stacked on three lines needs more than the usual height to show whole.
        const QStringList lines = button->text().remove(u'&').split(u'\n');
        int widest = 0;
        for (const QString &line : lines)
            widest = std::max(widest, button->fontMetrics().horizontalAdvance(line));
        // The self-test's long caption widens its column; the full menu hides it.
        button->setMinimumSize(std::max(300, widest + 24),
                               std::max(52, int(lines.size()) * button->fontMetrics().lineSpacing() + 16));
        layout->addWidget(button, 3 + spec.row, spec.column);
    }

    // Hidden state holders: the switches' check boxes and the self-test fields.
    m_soundCheck = new QCheckBox(QStringLiteral("sound toggle"), this);
    m_soundCheck->setObjectName(QStringLiteral("chksoundtoggle"));
    m_autoSaveCheck = new QCheckBox(QStringLiteral("autosave"), this);
    m_autoSaveCheck->setObjectName(QStringLiteral("chkAutoSave"));
    auto *testMessage = new QPlainTextEdit(
        QStringLiteral("This is a test. If you can read this then the test is a pass. Please press Exit .\r\n"), this);
    testMessage->setObjectName(QStringLiteral("Text1"));
    const std::pair<const char *, const char *> testFields[] = {
        {"Text2", "SUBJECT:TEST"}, {"Text3", "TO: TEST"}, {"Text4", "From Test"}};
    for (const auto &[name, text] : testFields)
        (new QLineEdit(QLatin1String(text), this))->setObjectName(QLatin1String(name));
    for (QWidget *holder : std::initializer_list<QWidget *>{m_soundCheck, m_autoSaveCheck, testMessage})
        holder->hide();
    for (const char *name : {"Text2", "Text3", "Text4"})
        findChild<QLineEdit *>(QLatin1String(name))->hide();

    // Load steps.
    removeCaptionBar(this);
    m_context.navigator.unload<EnterForm>();
    // A reader left loaded (the self-test loads one without its reply
    // buttons) must not outlive the menu's rebuild.
    closeReader(m_context);
    loadSoundState();
    if (auto *list = m_context.navigator.loaded<Received>(); list && list->takePendingArrival())
        showArrivalNotice(this);
    if (const auto autoSave = Modsavemodule(m_context.files, m_context.clock).storedAutoSave())
        displayAutoSave(*autoSave);

    addUnreadNotice(layout);

    connect(m_soundCheck, &QCheckBox::toggled, this, &MainMenu::soundAction);
    connect(button("cmdsoundtoggle"), &QPushButton::clicked, this, &MainMenu::toggleSound);
    connect(button("cmdAutoSaveToggle"), &QPushButton::clicked, this, &MainMenu::toggleAutoSave);
    connect(button("exit"), &QPushButton::clicked, this, &MainMenu::exitToEntry);
    connect(button("SEND"), &QPushButton::clicked, this, &MainMenu::openLauncher);
    connect(button("RECEIVE"), &QPushButton::clicked, this, &MainMenu::openReceivedList);
    connect(button("PACKETMAIL"), &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<MainMenu>();
        m_context.navigator.open<FrmDecide>();
    });
    connect(button("RETRIEVE"), &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<MainMenu>();
        m_context.navigator.unload<SaveForm>();
        m_context.navigator.open<SaveForm>();
    });
    connect(button("SETTINGS"), &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<MainMenu>();
        m_context.navigator.unload<FrSettings>();
        m_context.navigator.open<FrSettings>();
    });
    connect(button("testprogram"), &QPushButton::clicked, this, &MainMenu::runSelfTest);
    connect(button("Explorer"), &QPushButton::clicked, this, &MainMenu::openFileManager);
    connect(button("cmdopenstartmenu"), &QPushButton::clicked, this, &MainMenu::openStartMenu);
    connect(button("checktnc"), &QPushButton::clicked, this, &MainMenu::raisePacketProgram);
    connect(button("CmdNPRSYSTEM"), &QPushButton::clicked, this, &MainMenu::raisePortal);
}

MainMenu *MainMenu::open(DeskContext &context, Opener opener)
{
    auto *menu = context.navigator.load<MainMenu>();
    menu->hideForOpener(opener);
    context.navigator.open<MainMenu>();
    if (opener == Opener::Reenter || opener == Opener::WorkingScreen)
        keepReceiveMonitorRunning(context);
    return menu;
}

void keepReceiveMonitorRunning(DeskContext &context)
{
    // Without a receive folder there is nothing to watch; the received list
    // says so itself when the operator opens it.
    const auto folder = context.files.readLine(Setting::ReceiveDir);
    if (!folder)
        return;
    Navigator &navigator = context.navigator;
    if (auto *list = navigator.loaded<Received>()) {
        if (list->monitor().IsRunning() && list->monitor().folderpath == *folder)
            return;
        // A list in front of the operator is not pulled away; it was loaded
        // by the menu and watches the folder already.
        if (list->isVisible())
            return;
        navigator.unload<Received>();
    }
    // The received list hosts the monitor's timer: loading it, hidden, starts the monitor.
    navigator.load<Received>();
}

void returnToMainMenu(DeskContext &context)
{
    MainMenu::open(context, MainMenu::Opener::WorkingScreen);
}

QPushButton *MainMenu::button(const char *objectName) const
{
    return findChild<QPushButton *>(QLatin1String(objectName));
}

QString MainMenu::testField(const char *objectName) const
{
    const QString name = QLatin1String(objectName);
    if (auto *box = findChild<QPlainTextEdit *>(name))
        return box->toPlainText().replace(u'\n', QStringLiteral("\r\n")); // a mail's line end is CR LF
    if (auto *box = findChild<QLineEdit *>(name))
        return box->text();
    return {};
}

void MainMenu::hideForOpener(Opener opener)
{
    QList<const char *> hidden;
    switch (opener) {
    case Opener::Enter:
        hidden = {"PACKETMAIL", "SEND", "RECEIVE", "RETRIEVE", "Explorer", "checktnc", "cmdopenstartmenu",
                  "cmdsoundtoggle", "cmdAutoSaveToggle", "CmdNPRSYSTEM"};
        break;
    case Opener::DirectorySetup:
        hidden = {"PACKETMAIL", "SEND", "RECEIVE", "RETRIEVE", "Explorer", "checktnc", "cmdopenstartmenu"};
        break;
    case Opener::Reenter:
    case Opener::WorkingScreen:
        hidden = {"testprogram"};
        break;
    }
    for (const char *name : hidden)
        button(name)->hide();
}

void MainMenu::loadSoundState()
{
    if (!m_context.files.exists(Setting::SoundState))
        return;
    const auto line = m_context.files.readLine(Setting::SoundState);
    if (!line)
        return;
    const bool on = line->toUpper() == u"ON";
    // Only the operator's use of the sound button toggles the mute and
    // speaks; rebuilding the menu just shows the stored state.
    m_soundCheck->setChecked(on);
    paintSoundControls(on);
}

void MainMenu::paintSoundControls(bool on)
{
    setBackground(m_soundCheck, on ? modUIColorPalette::onColour : modUIColorPalette::red);
    m_soundCheck->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    auto *soundButton = button("cmdsoundtoggle");
    setBackground(soundButton, on ? modUIColorPalette::onColour : modUIColorPalette::offColour);
    setCaptionKeepingMnemonic(soundButton, on ? QStringLiteral("Sound ON") : QStringLiteral("Sound OFF"));
}

void MainMenu::soundAction(bool on)
{
    const Outcome muted = m_context.desktop.toggleMute();
    const Outcome stored = Modsoundcontrol(m_context.files).storeSoundSetting(on);
    m_context.speaker.speak(on ? QStringLiteral("Sound on") : QStringLiteral("Sound off"));
    // The switch still works for speech this session; the operator learns
    // why the system's sound did not follow it, and whether the choice
    // will still hold after a restart.
    QStringList problems;
    if (!muted)
        problems << tr("The system mute could not be changed: %1.").arg(muted.error());
    if (!stored)
        problems << tr("The sound setting could not be saved: %1. Speech follows the switch until the program "
                       "is closed.")
                        .arg(stored.error());
    else if (!muted)
        problems << tr("The sound setting is saved and speech follows it all the same.");
    if (!problems.isEmpty())
        m_context.prompter.inform(problems.join(QLatin1Char(' ')), Prompter::Icon::Exclamation);
}

void MainMenu::toggleSound()
{
    if (!m_context.prompter.ask(QStringLiteral("This will cause you to have to Reset by re-entering the main menu. "
                                               "Click Re-enter on Enter form. Do you want to continue?"),
                                QStringLiteral("Confirm Reset"), Prompter::Icon::Question))
        return;
    const bool on = !m_soundCheck->isChecked();
    m_soundCheck->setChecked(on); // runs the sound action
    paintSoundControls(on);
    const Outcome stored =
        m_context.files.writePrintLine(Setting::SoundState, on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    if (!stored) {
        m_context.prompter.inform(QStringLiteral("Error in cmdSoundToggle_Click: ") + stored.error(),
                                  Prompter::Icon::Exclamation);
        return;
    }
    exitToEntry();
}

void MainMenu::toggleAutoSave()
{
    Moduicontrol::switchAutoSave(m_context, !m_autoSaveCheck->isChecked());
}

void MainMenu::displayAutoSave(bool on)
{
    Moduicontrol::paintAutoSaveControls(m_autoSaveCheck, button("cmdAutoSaveToggle"), on);
}

void MainMenu::showArrivalNotice(const QString &first, const QString &second)
{
    m_arrivalFirst->setText(first);
    m_arrivalSecond->setText(second);
    m_arrivalFirst->setVisible(!first.isEmpty());
    m_arrivalSecond->setVisible(!second.isEmpty());
}

void MainMenu::showArrivalNotice(MainMenu *menu)
{
    menu->showArrivalNotice(
        QStringLiteral("A Message Has Arrived "),
        QStringLiteral(" Warning Check Packet Program to ensure total message received before opening"));
}

void MainMenu::blinkArrivalNotice()
{
    m_arrivalFirst->setVisible(!m_arrivalFirst->isVisible());
}

void MainMenu::addUnreadNotice(QGridLayout *layout)
{
    UnattendedStation *station = m_context.unattended;
    if (!station)
        return;
    // In the third column's free cells, so no button of the menu moves.
    m_unreadCount = makeHeading(this, "unreadCount", QString(), 16);
    m_unreadCount->setStyleSheet(QStringLiteral("color: red;"));
    m_unreadCount->setWordWrap(true);
    layout->addWidget(m_unreadCount, 3 + 2, 2);
    m_dismissAlert = makeColouredButton(this, "dismissAlert", tr("&Dismiss alert"), {255, 255, 255});
    m_dismissAlert->setToolTip(tr("Stops the repeated arrival announcement; the messages stay unread"));
    layout->addWidget(m_dismissAlert, 3 + 3, 2);

    ArrivalAlert &alert = station->alert();
    const auto paint = [this, &alert] {
        m_unreadCount->setText(alert.unread() > 0 ? tr("%n unread message(s)", nullptr, alert.unread()) : QString());
        m_unreadCount->setVisible(alert.unread() > 0);
        m_dismissAlert->setVisible(alert.alerting());
    };
    paint();
    connect(&alert, &ArrivalAlert::unreadChanged, this, paint);
    connect(&alert, &ArrivalAlert::alertingChanged, this, paint);
    connect(m_dismissAlert, &QPushButton::clicked, this, [station] {
        station->alert().dismiss();
        station->record(tr("arrival alert dismissed on the main menu"));
    });
}

void MainMenu::hideTestButton()
{
    button("testprogram")->hide();
}

void MainMenu::exitToEntry()
{
    Navigator &navigator = m_context.navigator;
    // The received list's timer drives the monitor: scanning stops until it loads again.
    navigator.unload<Received>();
    navigator.unload<MailForm>();
    navigator.unload<Rodiruverezer>();
    navigator.unload<MainMenu>();
    navigator.load<EnterForm>()->showReenter();
    navigator.open<EnterForm>();
}

void MainMenu::openLauncher()
{
    m_context.navigator.unload<Rodiruverezer>();
    m_context.navigator.open<Rodiruverezer>();
}

void MainMenu::openReceivedList()
{
    showArrivalNotice({}, {});
    m_context.navigator.open<Received>();
}

void MainMenu::runSelfTest()
{
    Navigator &navigator = m_context.navigator;
    navigator.unload<Received>();
    navigator.unload<InboxForm>();
    const Result<QString> directory = m_context.files.readFirstLine(Setting::ReceiveDir);
    const MailFields test{testField("Text3"), testField("Text2"), testField("Text1"), testField("Text4")};
    const auto posted = directory ? MailPosting::appendRecord(*directory, MessageFile::replyFileName(m_context.clock.now()), test)
                                  : MailPosting::Posted(directory.outcome());
    if (!posted) {
        // The test button stays, so the test can run again after the setup.
        m_context.prompter.inform(tr("The test cannot run: the receive folder must be set first, in the directory "
                                     "setup, and it must be writable.\n\n%1")
                                      .arg(posted.error()),
                                  Prompter::Icon::Exclamation);
        return;
    }
    hideTestButton();
    // The test mail is shown without the reply, reset and auto-save buttons.
    navigator.load<InboxForm>()->hideReplyControls();
    navigator.unload<MainMenu>();
    navigator.open<Received>();
}

void MainMenu::openFileManager()
{
    if (const Outcome opened = m_context.desktop.openFileManager(); !opened)
        m_context.prompter.inform(tr("The file manager could not be opened: %1").arg(opened.error()),
                                  Prompter::Icon::Exclamation);
}

void MainMenu::openStartMenu()
{
    if (const Outcome pressed = m_context.desktop.pressStartMenuKey(); !pressed)
        m_context.prompter.inform(QStringLiteral("Unable to open Start Menu: ") + pressed.error(),
                                  Prompter::Icon::Exclamation);
}

void MainMenu::raisePacketProgram()
{
    WindowHandOver::raisePacketProgram(m_context);
}

void MainMenu::raisePortal()
{
    WindowHandOver::raisePortal(m_context);
}
