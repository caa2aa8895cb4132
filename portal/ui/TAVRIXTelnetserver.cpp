#include "TAVRIXTelnetserver.h"

#include "AnsiText.h"
#include "DataLink.h"
#include "LinkChoice.h"
#include "ModemConsole.h"
#include "ModemLink.h"
#include "PortalDesktop.h"
#include "Prompter.h"
#include "RadioLink.h"
#include "ReturnPressesButton.h"
#include "SoundSetting.h"
#include "Speaker.h"
#include "StationIdStore.h"
#include "StationListBox.h"
#include "StatusText.h"
#include "TransferLogKeeper.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

using StatusBox::addBelow;
using StatusBox::insertOnTop;

TAVRIXTelnetserver::TAVRIXTelnetserver(const PortalSetup &setup, const PortalPorts &ports, QWidget *parent)
    : QWidget(parent)
    , m_setup(setup)
    , m_ports(ports)
    , m_speaker(ports.speaker)
    , m_prompter(ports.prompter)
    , m_desktop(ports.desktop)
{
    setObjectName(QStringLiteral("TAVRIXTelnetserver"));
    setWindowTitle(QStringLiteral("telnet server"));
    ReturnPressesButton::installOnce();
    m_link = new DataLink(m_setup, m_speaker, this);
    m_link->setConfirm([this](const QString &question) { return m_prompter.ask(question); });
    m_modem = new ModemLink(m_setup.modemAddress, m_setup.modemPort, m_setup.connectTimeoutMs, this);
    // The radio link hands its sessions to the data link as connections: one logic for both links.
    m_radio = new RadioLink(this);
    m_radio->setHandOver([this](qintptr descriptor, const QString &caller) { m_link->takeCall(descriptor, caller); });
    connect(m_radio, &RadioLink::statusLine, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_radio, &RadioLink::sendStatusLine, this, &TAVRIXTelnetserver::AppendSendStatus);
    m_form = PortalForm::build(this);
    m_stations = new StationListBox(m_form.entry, m_form.stations, m_form.address, m_ports.stations, m_prompter, this);
    const LinkChoice::Controls choice{m_form.ipChoice, m_form.radioChoice, m_form.stationId, m_form.stations,
                                      m_form.address};
    m_linkChoice = new LinkChoice(choice, *m_radio, m_setup.peerPort, this);
    m_link->setRouter([this](const QString &remote) { return m_linkChoice->route(remote); });
    m_log = new TransferLogKeeper(m_ports.transferLog, *m_link, this);
    m_console = new ModemConsole(m_form.command, m_form.connectionStatus, *m_modem, *m_link, m_ports.sockets, this);
    connectControls();

    QPlainTextEdit *connectionStatus = m_form.connectionStatus;
    QPlainTextEdit *sendStatus = m_form.sendStatus;
    connect(m_link, &DataLink::connectionStatusCleared, connectionStatus, &QPlainTextEdit::clear);
    connect(m_link, &DataLink::connectionStatusAdded, this,
            [connectionStatus](const QString &line) { addBelow(connectionStatus, line); });
    connect(m_link, &DataLink::connectionStatusPrepended, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_link, &DataLink::sendStatusCleared, sendStatus, &QPlainTextEdit::clear);
    connect(m_link, &DataLink::sendStatusAdded, this, [sendStatus](const QString &line) { addBelow(sendStatus, line); });
    connect(m_link, &DataLink::sendStatusAppended, this, &TAVRIXTelnetserver::AppendSendStatus);
    connect(m_link, &DataLink::chatReceived, this, &TAVRIXTelnetserver::ShowChatReceived);
    connect(m_link, &DataLink::transferEnded, m_log, &TransferLogKeeper::log);
    connect(m_link, &DataLink::remoteEndedChat, this, [this] {
        insertOnTop(m_form.chatShown, QStringLiteral("Remote: Chat session ended.\n"), chatLineLimit);
    });
    connect(m_link, &DataLink::chatEndedBySend, this, [this] {
        insertOnTop(m_form.chatShown,
                    QStringLiteral("Chat session ended: the connection was closed to send a message.\n"), chatLineLimit);
    });

    // Start-up: the stored station ID, the station list, then listening.
    m_form.stationId->setText(m_ports.stationId.load());
    m_stations->load();
    m_link->ResetReceiveState();
    m_link->StartListening();
    if (m_link->isListening())
        addBelow(connectionStatus,
                 QStringLiteral("Program started. Listening on port ") + QString::number(m_link->listenPort()));
    else
        addBelow(connectionStatus, QStringLiteral("Program started without listening on port ") +
                                       QString::number(m_link->listenPort()));
}

TAVRIXTelnetserver::~TAVRIXTelnetserver() = default;

void TAVRIXTelnetserver::connectControls()
{
    const PortalForm &f = m_form;
    connect(m_linkChoice, &LinkChoice::connectionLine, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_linkChoice, &LinkChoice::sendLine, this, &TAVRIXTelnetserver::AppendSendStatus);
    connect(m_log, &TransferLogKeeper::connectionLine, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_log, &TransferLogKeeper::sendLine, this, &TAVRIXTelnetserver::AppendSendStatus);

    connect(f.add, &QPushButton::clicked, m_stations, &StationListBox::add);
    connect(f.remove, &QPushButton::clicked, m_stations, &StationListBox::remove);
    f.stationId->installEventFilter(this);
    connect(f.send, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = m_linkChoice->callTarget())
            m_link->SendNewestOutboxFile(*target);
    });
    // Closing the one window ends the program; closeEvent asks first during a transfer.
    connect(f.exit, &QPushButton::clicked, this, &QWidget::close);

    connect(f.startChat, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = m_linkChoice->callTarget())
            m_link->chatConnect(*target);
    });
    connect(f.reconnect, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = m_linkChoice->callTarget())
            m_link->reconnect(*target);
    });
    connect(f.chatSend, &QPushButton::clicked, this, &TAVRIXTelnetserver::sendChatLine);
    connect(f.chatLine, &QLineEdit::returnPressed, this, &TAVRIXTelnetserver::sendChatLine);
    connect(f.endChat, &QPushButton::clicked, this, [this] { m_link->endChat(); });

    connect(f.clearSend, &QPushButton::clicked, f.sendStatus, &QPlainTextEdit::clear);
    connect(f.transferLog, &QPushButton::clicked, m_log, &TransferLogKeeper::show);
    connect(f.clearRecv, &QPushButton::clicked, f.connectionStatus, &QPlainTextEdit::clear);
    connect(f.clearChatSend, &QPushButton::clicked, f.chatLine, &QLineEdit::clear);
    connect(f.clearChatRecv, &QPushButton::clicked, f.chatShown, &QPlainTextEdit::clear);

    connect(f.modemConnect, &QPushButton::clicked, m_modem, &ModemLink::connectToModem);
    connect(f.sendCommand, &QPushButton::clicked, m_console, &ModemConsole::sendCommand);
    connect(f.command, &QLineEdit::returnPressed, m_console, &ModemConsole::sendCommand);
    connect(f.modemEnd, &QPushButton::clicked, m_modem, &ModemLink::endConnection);
    connect(f.checkPort, &QPushButton::clicked, m_console, &ModemConsole::checkPort);
    connect(f.sound, &QCheckBox::clicked, this, &TAVRIXTelnetserver::toggleSound);
    connect(f.returnMail, &QPushButton::clicked, this, &TAVRIXTelnetserver::returnToPacketMail);
    connect(f.altTab, &QPushButton::clicked, this, [this] { m_desktop.pressAltTab(); });
}

void TAVRIXTelnetserver::setRadioSetting(RadioSetting *setting)
{
    m_linkChoice->setSetting(setting);
}

TransferLogDialog *TAVRIXTelnetserver::transferLogDialog() const
{
    return m_log->dialog();
}

void TAVRIXTelnetserver::storeStationId()
{
    if (const PortalOutcome stored = m_ports.stationId.store(m_form.stationId->text()); !stored)
        PrependConnectionStatus(tr("The station ID cannot be stored: %1; it holds until the program ends.").arg(stored.why()));
    m_linkChoice->stationIdChanged();
}

bool TAVRIXTelnetserver::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form.stationId && event->type() == QEvent::FocusOut)
        storeStationId();
    return QWidget::eventFilter(watched, event);
}

void TAVRIXTelnetserver::showEvent(QShowEvent *event)
{
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        placeOnScreen();
    }
    QWidget::showEvent(event);
}

void TAVRIXTelnetserver::placeOnScreen()
{
    const QScreen *display = screen();
    if (!display)
        return;
    const QRect room = display->availableGeometry();
    // A window manager's frame is known only once it has framed the window: until then, allow for a common one.
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        frame = QMargins(4, 30, 4, 4);
    const QSize inside = size().boundedTo(room.size().shrunkBy(frame)).expandedTo(minimumSizeHint());
    resize(inside);
    QRect outside(QPoint(), inside.grownBy(frame));
    outside.moveCenter(room.center());
    // Too big for the screen after all: keep the title bar and the top left in sight.
    outside.moveLeft(qMax(outside.left(), room.left()));
    outside.moveTop(qMax(outside.top(), room.top()));
    move(outside.topLeft());
}

void TAVRIXTelnetserver::closeEvent(QCloseEvent *event)
{
    if (m_link->transferInProgress()) {
        if (!m_prompter.ask(QStringLiteral("A file transfer is in progress. Closing the program now breaks it off: "
                                           "the file does not arrive whole and is not kept.\n\n"
                                           "Close the program anyway?"))) {
            event->ignore();
            return;
        }
        // The transfer may have ended while the question was open.
        if (m_link->transferInProgress())
            m_link->abortTransfer();
    }
    event->accept();
}

void TAVRIXTelnetserver::PrependConnectionStatus(const QString &line)
{
    StatusBox::prepend(m_form.connectionStatus, line);
}

void TAVRIXTelnetserver::AppendSendStatus(const QString &line)
{
    StatusBox::appendLine(m_form.sendStatus, line);
    KeepLastLines(m_form.sendStatus, 10);
}

void TAVRIXTelnetserver::KeepLastLines(QPlainTextEdit *box, int n)
{
    StatusBox::keepLastLines(box, n);
}

void TAVRIXTelnetserver::ShowChatReceived(const QString &text)
{
    const QString line = QStringLiteral("[%1] %2").arg(StatusText::chatTime(), text);
    insertOnTop(m_form.chatShown, StatusBox::bounded(line, TAVRIXTelnetserver::longestChatLine) + u'\n', chatLineLimit);
}

void TAVRIXTelnetserver::Announce(const QString &text)
{
    m_speaker.say(text);
}

void TAVRIXTelnetserver::sendChatLine()
{
    const QString id = StatusText::trimSpaces(m_form.stationId->text());
    const QString text = StatusText::trimSpaces(m_form.chatLine->text());
    const QString message = text.isEmpty() ? id : id + u'-' + text;
    addBelow(m_form.connectionStatus, QStringLiteral("ChatSend invoked. State=%1, chatModeActive=%2")
                                          .arg(DataLink::statusNumber(m_link->state()))
                                          .arg(m_link->chatModeActive() ? QStringLiteral("True") : QStringLiteral("False")));
    if (message.isEmpty())
        return;
    if (m_link->transferInProgress()) {
        // A chat line on a transfer connection would become part of the file.
        insertOnTop(m_form.chatShown,
                    QStringLiteral("[%1] Not sent: a file transfer is in progress. Your line stays in the Chat Send "
                                   "box; send it when the transfer has ended.\n")
                        .arg(StatusText::chatTime()),
                    chatLineLimit);
        return;
    }
    if (!m_link->sendChat(message)) {
        m_prompter.inform(QStringLiteral("Chat is not active or socket not connected."), Prompter::Icon::None);
        return;
    }
    // The peer gets the line in the code page: show what it got, not what was typed.
    const QString sent = AnsiText::decode(AnsiText::encode(message));
    const QString line = QStringLiteral("[%1]%2").arg(StatusText::chatTime(), sent);
    insertOnTop(m_form.chatShown, StatusBox::bounded(line, TAVRIXTelnetserver::longestChatLine) + u'\n', chatLineLimit);
    m_form.chatLine->clear();
}

void TAVRIXTelnetserver::toggleSound()
{
    const PortalOutcome muted = m_desktop.toggleMute();
    const bool on = m_form.sound->isChecked();
    // Store before speaking of it, so the line about the mute never claims a
    // save that then failed.
    const PortalOutcome stored = m_ports.sound.store(on);
    if (!muted && !m_muteFailureTold) {
        m_muteFailureTold = true;
        PrependConnectionStatus(QStringLiteral("The system mute cannot be switched here (%1); %2")
                                    .arg(muted.why(), stored ? QStringLiteral("the sound setting is saved all the same.")
                                                             : QStringLiteral("the sound setting is not saved either.")));
    }
    if (!stored)
        PrependConnectionStatus(stored.why());
    Announce(on ? QStringLiteral("Sound on") : QStringLiteral("Sound off"));
}

void TAVRIXTelnetserver::returnToPacketMail()
{
    if (!m_desktop.raiseDesk(m_setup.deskTitle))
        m_prompter.inform(QStringLiteral("TAVRIX Packet Mail not window found."), Prompter::Icon::Exclamation);
}
