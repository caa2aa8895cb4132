#include "TAVRIXTelnetserver.h"

#include "AnsiText.h"
#include "DataLink.h"
#include "ModemLink.h"
#include "PortalDesktop.h"
#include "RadioLink.h"
#include "RadioSetting.h"
#include "Prompter.h"
#include "ReturnPressesButton.h"
#include "SocketList.h"
#include "SocketTable.h"
#include "SoundSetting.h"
#include "Speaker.h"
#include "StationIdStore.h"
#include "StationList.h"
#include "StationStore.h"
#include "StatusText.h"
#include "TransferLogDialog.h"
#include "TransferLogStore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int statusLineLimit = TAVRIXTelnetserver::statusLineLimit;
constexpr int chatLineLimit = TAVRIXTelnetserver::chatLineLimit;
constexpr qsizetype longestStatusLine = TAVRIXTelnetserver::longestStatusLine;

// Peers decide how long a line is: a box shows at most `longest` characters of one.
QString boundedLine(const QString &line, qsizetype longest = longestStatusLine)
{
    return StatusText::shortened(line, longest);
}

enum class Side { Top, Bottom };

// Drops whole lines at one side until the box holds at most limit lines and
// at most boxCharacterLimit characters; the newest line always stays.
// Works on the document in place, so its cost does not grow with the box.
void dropLines(QTextDocument *document, int limit, Side side)
{
    const int blocks = document->blockCount();
    qsizetype characters = document->characterCount();
    if (blocks <= limit && characters <= TAVRIXTelnetserver::boxCharacterLimit)
        return;
    // A shown line costs far more than its characters (its laid-out glyphs
    // are kept too): lines a peer makes long fill memory long before the
    // line count is reached. Whole lines go, oldest first.
    int excess = 0;
    for (QTextBlock block = side == Side::Top ? document->firstBlock() : document->lastBlock();
         block.isValid() && excess < blocks - 1 &&
         (excess < blocks - limit || characters > TAVRIXTelnetserver::boxCharacterLimit);
         block = side == Side::Top ? block.next() : block.previous()) {
        characters -= block.length();
        ++excess;
    }
    if (excess <= 0)
        return;
    QTextCursor cursor(document);
    if (side == Side::Top) {
        cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    } else {
        cursor.setPosition(document->findBlockByNumber(blocks - excess - 1).position());
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

// The newest line goes on top; the oldest lines fall off the bottom.
void insertOnTop(QPlainTextEdit *box, const QString &text, int limit)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(text);
    dropLines(box->document(), limit, Side::Bottom);
    box->moveCursor(QTextCursor::Start);
}

// The newest line goes at the bottom; the oldest lines fall off the top.
void insertAtEnd(QPlainTextEdit *box, const QString &text, int limit)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    dropLines(box->document(), limit, Side::Top);
    box->moveCursor(QTextCursor::End);
}

} // namespace

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
    m_link->setRouter([this](const QString &remote) -> DataLink::Route {
        if (!m_radioChoice->isChecked())
            return {remote, m_setup.peerPort, {}};
        if (const PortalOutcome armed = m_radio->arm(remote); !armed) {
            AppendSendStatus(tr("Not called by radio: %1.").arg(armed.why()));
            return {};
        }
        // The radio link answers every session in the end (an orderly end, or a reset when the modem program
        // gives up or is gone), and at 1200 baud most of a file still waits in its queue after the last byte left.
        return {QStringLiteral("127.0.0.1"), m_radio->dialPort(), RadioLink::callsignOf(remote), RadioLink::deliveryLimitMs};
    });
    connect(m_radio, &RadioLink::statusLine, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_radio, &RadioLink::sendStatusLine, this, &TAVRIXTelnetserver::AppendSendStatus);
    buildControls();
    connect(m_modem, &ModemLink::lineShown, this, [this](const QString &line) { appendLine(m_logRecv, line); });

    connect(m_link, &DataLink::connectionStatusCleared, m_logRecv, &QPlainTextEdit::clear);
    connect(m_link, &DataLink::connectionStatusAdded, this, [this](const QString &line) { addBelow(m_logRecv, line); });
    connect(m_link, &DataLink::connectionStatusPrepended, this, &TAVRIXTelnetserver::PrependConnectionStatus);
    connect(m_link, &DataLink::sendStatusCleared, m_logSend, &QPlainTextEdit::clear);
    connect(m_link, &DataLink::sendStatusAdded, this, [this](const QString &line) { addBelow(m_logSend, line); });
    connect(m_link, &DataLink::sendStatusAppended, this, &TAVRIXTelnetserver::AppendSendStatus);
    connect(m_link, &DataLink::chatReceived, this, &TAVRIXTelnetserver::ShowChatReceived);
    connect(m_link, &DataLink::transferEnded, this, &TAVRIXTelnetserver::logTransfer);
    connect(m_link, &DataLink::remoteEndedChat, this,
            [this] { insertOnTop(m_chatRecv, QStringLiteral("Remote: Chat session ended.\n"), chatLineLimit); });
    connect(m_link, &DataLink::chatEndedBySend, this, [this] {
        insertOnTop(m_chatRecv, QStringLiteral("Chat session ended: the connection was closed to send a message.\n"),
                    chatLineLimit);
    });

    // Start-up: the stored station ID, the station list, then listening.
    m_stationId->setText(m_ports.stationId.load());
    loadStations();
    m_link->ResetReceiveState();
    m_link->StartListening();
    if (m_link->isListening())
        addBelow(m_logRecv, QStringLiteral("Program started. Listening on port ") + QString::number(m_link->listenPort()));
    else
        addBelow(m_logRecv, QStringLiteral("Program started without listening on port ") +
                                QString::number(m_link->listenPort()));
}

TAVRIXTelnetserver::~TAVRIXTelnetserver() = default;

void TAVRIXTelnetserver::buildControls()
{
    auto label = [this](const char *name, const QString &caption) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        return l;
    };
    auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    auto line = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    auto box = [this](const char *name) {
        auto *e = new QPlainTextEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        // Lines only ever arrive; an undo history would grow with each of them.
        e->setUndoRedoEnabled(false);
        e->setTabChangesFocus(true); // the window stays drivable from the keyboard
        e->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        return e;
    };

    auto *title = label("Label6", QStringLiteral("TAVRIX NPR PACKET MAIL PORTAL "));
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    // Created column by column, top to bottom: this is also the keyboard's tab order.
    auto *stations = new QVBoxLayout;
    stations->addWidget(label("Label1", QStringLiteral(" Enter Callsign and Ip Address         of Stations to Save"
                                                       "         eg Mycall-192.111.0.65")));
    m_text1 = line("Text1");
    stations->addWidget(m_text1);
    auto *add = button("Commandadd", QStringLiteral("&ADD"));
    stations->addWidget(add);
    auto *remove = button("Commanddelete", QStringLiteral("&Delete File In List"));
    stations->addWidget(remove);
    stations->addWidget(label("Label3", QStringLiteral("Click on IP Address to Send To")));
    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    // An entry too long for the list keeps its address at the end in sight; its tool tip holds it whole.
    m_list1->setTextElideMode(Qt::ElideMiddle);
    stations->addWidget(m_list1, 1);
    stations->addWidget(label("Label2", QStringLiteral("IP Address Sending To ")));
    m_remoteIp = line("Txtremoteip");
    stations->addWidget(m_remoteIp);
    auto *reconnect = button("Commandreconnect", QStringLiteral("Reconnect &Last IP"));
    stations->addWidget(reconnect);
    stations->addWidget(label("Label10", QStringLiteral("Your Station ID")));
    m_stationId = line("Txtstationid");
    stations->addWidget(m_stationId);
    auto *linkRow = new QHBoxLayout;
    m_ipChoice = new QRadioButton(tr("IP net&work"), this);
    m_ipChoice->setObjectName(QStringLiteral("Optipnetwork"));
    m_ipChoice->setToolTip(tr("Send and chat over the IP network, to the address of the selected station."));
    m_ipChoice->setAutoExclusive(false);
    m_ipChoice->setChecked(true);
    linkRow->addWidget(m_ipChoice);
    m_radioChoice = new QRadioButton(tr("Radio modem (A&GW)"), this);
    m_radioChoice->setObjectName(QStringLiteral("Optradiomodem"));
    m_radioChoice->setToolTip(tr("Send and chat over the sound-card radio modem program's AGW port, to the callsign "
                                 "of the selected station."));
    m_radioChoice->setAutoExclusive(false);
    linkRow->addWidget(m_radioChoice);
    stations->addLayout(linkRow);
    auto *send = button("commandsend", QStringLiteral("&Send Packet Mail  Message"));
    stations->addWidget(send);
    m_sound = new QCheckBox(QStringLiteral("      S&OUND"), this);
    m_sound->setObjectName(QStringLiteral("Chksoundtoggle"));
    stations->addWidget(m_sound);
    auto *exit = button("Exit", QStringLiteral("Close &Program"));
    stations->addWidget(exit);

    auto *status = new QVBoxLayout;
    status->addWidget(label("Label7", QStringLiteral("PACKET MAIL and CHAT MESSAGE SEND STATUS")));
    m_logSend = box("Txtlogsend");
    status->addWidget(m_logSend, 1);
    auto *sendRow = new QHBoxLayout;
    auto *clearSend = button("Cmdclearlogsend", QStringLiteral("Clear &Message Send"));
    sendRow->addWidget(clearSend, 1);
    auto *transferLog = button("Cmdtransferlog", QStringLiteral("Trans&fer Log"));
    sendRow->addWidget(transferLog);
    status->addLayout(sendRow);
    status->addWidget(label("Label5", QStringLiteral("Connection Status")));
    m_logRecv = box("Txtlogrecv");
    status->addWidget(m_logRecv, 2);
    auto *clearRecv = button("Cmdclearlogrecv", QStringLiteral("Clear Connection Stat&us"));
    status->addWidget(clearRecv);
    auto *checkPort = button("commandcheckport", QStringLiteral("Chec&k Port Status"));
    status->addWidget(checkPort);
    status->addWidget(label("Label9", QStringLiteral("Enter NPR Modem Command")));
    m_command = line("Txtcommand");
    status->addWidget(m_command);
    auto *sendCommand = button("Cmdsendcommand", QStringLiteral("           &Enter            ( Enter key or Click)"));
    status->addWidget(sendCommand);
    auto *modemRow = new QHBoxLayout;
    auto *modemConnect = button("Cmdconnect", QStringLiteral("&Connect to Modem"));
    modemRow->addWidget(modemConnect);
    auto *modemEnd = button("cmddisconnect", QStringLiteral("End Connect&ion"));
    modemRow->addWidget(modemEnd);
    status->addLayout(modemRow);

    auto *chat = new QVBoxLayout;
    auto *chatRow = new QHBoxLayout;
    auto *startChat = button("commandstartchat", QStringLiteral("  C&hat Connect "));
    chatRow->addWidget(startChat);
    auto *endChat = button("commandendchat", QStringLiteral(" E&nd  Chat"));
    chatRow->addWidget(endChat);
    chat->addLayout(chatRow);
    chat->addWidget(label("Label4", QStringLiteral("Chat Send")));
    m_chatSend = line("Txtchatsend");
    chat->addWidget(m_chatSend);
    auto *chatSend = button("commandchatsend", QStringLiteral("To Send Chat Message Hit Enter Ke&y or Click Here"));
    chat->addWidget(chatSend);
    auto *clearChatSend = button("Cmdclearchtsend", QStringLiteral("Clear Cha&t Send"));
    chat->addWidget(clearChatSend);
    chat->addWidget(label("Label8", QStringLiteral("Chat Receive")));
    m_chatRecv = box("Txtchatrecv");
    chat->addWidget(m_chatRecv, 1);
    auto *clearChatRecv = button("Cmdclearchatrecv", QStringLiteral("Clear Chat Recei&ve"));
    chat->addWidget(clearChatRecv);
    auto *returnMail = button("cmdreturmmail", QStringLiteral("&Return to Packet Mail"));
    chat->addWidget(returnMail);
    auto *altTab = button("Command1", QStringLiteral("Alt/Ta&b"));
    chat->addWidget(altTab);

    auto *grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0, 1, 3);
    grid->addLayout(stations, 1, 0);
    grid->addLayout(status, 1, 1);
    grid->addLayout(chat, 1, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    grid->setColumnStretch(0, 2);
    resize(1100, 720); // shrunk to the screen when shown

    connect(add, &QPushButton::clicked, this, &TAVRIXTelnetserver::addStation);
    connect(remove, &QPushButton::clicked, this, &TAVRIXTelnetserver::deleteStation);
    connect(m_list1, &QListWidget::itemClicked, this, &TAVRIXTelnetserver::pickStation);
    connect(m_list1, &QListWidget::currentRowChanged, this, &TAVRIXTelnetserver::pickStation);
    m_stationId->installEventFilter(this);
    connect(send, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = callTarget())
            m_link->SendNewestOutboxFile(*target);
    });
    // Closing the one window ends the program; closeEvent asks first during a transfer.
    connect(exit, &QPushButton::clicked, this, &QWidget::close);

    connect(startChat, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = callTarget())
            m_link->chatConnect(*target);
    });
    connect(reconnect, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> target = callTarget())
            m_link->reconnect(*target);
    });
    // Not auto-exclusive, so that Tab reaches both: each click sets the pair itself.
    connect(m_ipChoice, &QRadioButton::clicked, this, [this] { chooseLink(false); });
    connect(m_radioChoice, &QRadioButton::clicked, this, [this] { chooseLink(true); });
    connect(chatSend, &QPushButton::clicked, this, &TAVRIXTelnetserver::sendChatLine);
    connect(m_chatSend, &QLineEdit::returnPressed, this, &TAVRIXTelnetserver::sendChatLine);
    connect(endChat, &QPushButton::clicked, this, [this] { m_link->endChat(); });

    connect(clearSend, &QPushButton::clicked, m_logSend, &QPlainTextEdit::clear);
    connect(transferLog, &QPushButton::clicked, this, &TAVRIXTelnetserver::showTransferLog);
    connect(clearRecv, &QPushButton::clicked, m_logRecv, &QPlainTextEdit::clear);
    connect(clearChatSend, &QPushButton::clicked, m_chatSend, &QLineEdit::clear);
    connect(clearChatRecv, &QPushButton::clicked, m_chatRecv, &QPlainTextEdit::clear);

    connect(modemConnect, &QPushButton::clicked, m_modem, &ModemLink::connectToModem);
    connect(sendCommand, &QPushButton::clicked, this, &TAVRIXTelnetserver::sendModemCommand);
    connect(m_command, &QLineEdit::returnPressed, this, &TAVRIXTelnetserver::sendModemCommand);
    connect(modemEnd, &QPushButton::clicked, m_modem, &ModemLink::endConnection);
    connect(checkPort, &QPushButton::clicked, this, &TAVRIXTelnetserver::checkPort);
    connect(m_sound, &QCheckBox::clicked, this, &TAVRIXTelnetserver::toggleSound);
    connect(returnMail, &QPushButton::clicked, this, &TAVRIXTelnetserver::returnToPacketMail);
    connect(altTab, &QPushButton::clicked, this, [this] { m_desktop.pressAltTab(); });
}

void TAVRIXTelnetserver::loadStations()
{
    for (const QString &entry : m_ports.stations.load())
        addListEntry(entry);
}

void TAVRIXTelnetserver::addListEntry(const QString &entry)
{
    auto *item = new QListWidgetItem(entry, m_list1);
    item->setToolTip(entry);
}

void TAVRIXTelnetserver::addStation()
{
    const QString entry = StatusText::trimSpaces(m_text1->text());
    if (entry.isEmpty()) {
        m_prompter.inform(QStringLiteral("Please type something first."), Prompter::Icon::None);
        return;
    }
    addListEntry(entry);
    m_text1->clear();
    if (const PortalOutcome added = m_ports.stations.append(entry); !added)
        m_prompter.inform(StatusText::errorLine(QStringLiteral("[ADD ERR "), 75, added.why()), Prompter::Icon::Critical);
}

void TAVRIXTelnetserver::deleteStation()
{
    const int row = m_list1->currentRow();
    if (row < 0 || !m_list1->item(row)->isSelected()) {
        m_prompter.inform(QStringLiteral("Please select an item to delete."), Prompter::Icon::None);
        return;
    }
    m_text1->clear();
    {
        // Removing the entry must not pick a neighbouring one.
        const QSignalBlocker blocker(m_list1);
        delete m_list1->takeItem(row);
        m_list1->setCurrentRow(-1);
    }
    QStringList entries;
    for (int i = 0; i < m_list1->count(); ++i)
        entries.append(m_list1->item(i)->text());
    if (const PortalOutcome rewritten = m_ports.stations.rewrite(entries); !rewritten)
        m_prompter.inform(StatusText::errorLine(QStringLiteral("[DELETE ERR "), 75, rewritten.why()),
                          Prompter::Icon::Critical);
}

void TAVRIXTelnetserver::pickStation()
{
    const QListWidgetItem *item = m_list1->currentItem();
    if (!item)
        return;
    m_remoteIp->setText(StationList::addressOf(item->text()));
}

void TAVRIXTelnetserver::storeStationId()
{
    if (const PortalOutcome stored = m_ports.stationId.store(m_stationId->text()); !stored)
        PrependConnectionStatus(tr("The station ID cannot be stored: %1; it holds until the program ends.").arg(stored.why()));
    // The radio link answers to the station ID: a new one is registered in its place.
    if (m_radioChoice->isChecked() && RadioLink::callsignOf(m_stationId->text()) != m_radio->callsign())
        startRadio();
}

void TAVRIXTelnetserver::setRadioSetting(RadioSetting *setting)
{
    m_radioSetting = setting;
    if (!setting)
        return;
    const RadioSetting::Loaded loaded = setting->load();
    if (!loaded.problem.isEmpty())
        PrependConnectionStatus(tr("Radio setting: %1").arg(loaded.problem));
    const RadioSetting::Choice &choice = loaded.choice;
    m_agwHost = choice.host;
    m_agwPort = choice.port;
    m_radioChoice->setChecked(choice.radio);
    m_ipChoice->setChecked(!choice.radio);
    if (choice.radio)
        startRadio();
}

void TAVRIXTelnetserver::chooseLink(bool radio)
{
    m_radioChoice->setChecked(radio);
    m_ipChoice->setChecked(!radio);
    if (m_radioSetting) {
        if (const PortalOutcome stored = m_radioSetting->storeRadio(radio); !stored)
            PrependConnectionStatus(tr("%1; the choice holds until the program ends.").arg(stored.why()));
    }
    if (!radio) {
        m_radio->stop();
        PrependConnectionStatus(tr("Link: IP network. Send, chat and reconnect call the IP address of the selected "
                                   "station."));
        return;
    }
    PrependConnectionStatus(tr("Link: radio modem program at %1 port %2 (AGW). Send, chat and reconnect call the "
                               "callsign of the selected station; the IP link still answers calls.")
                                .arg(m_agwHost)
                                .arg(m_agwPort));
    startRadio();
}

void TAVRIXTelnetserver::startRadio()
{
    m_radio->start(m_agwHost, m_agwPort, RadioLink::callsignOf(m_stationId->text()));
}

std::optional<QString> TAVRIXTelnetserver::callTarget()
{
    if (!m_radioChoice->isChecked())
        return m_remoteIp->text();
    const QListWidgetItem *item = m_list1->currentItem();
    const QString call = item ? RadioLink::callsignOf(item->text()) : QString();
    const PortalOutcome armed =
        call.isEmpty()
            ? PortalOutcome::failure(tr("pick a station in the list; its entry starts with the callsign that is called"))
            : m_radio->arm(call);
    if (armed)
        return call;
    AppendSendStatus(tr("Not called by radio: %1.").arg(armed.why()));
    return std::nullopt;
}

bool TAVRIXTelnetserver::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_stationId && event->type() == QEvent::FocusOut)
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

void TAVRIXTelnetserver::addBelow(QPlainTextEdit *box, const QString &line)
{
    insertAtEnd(box, u'\n' + boundedLine(line), statusLineLimit);
}

void TAVRIXTelnetserver::PrependConnectionStatus(const QString &line)
{
    insertOnTop(m_logRecv, boundedLine(line) + u'\n', statusLineLimit);
}

void TAVRIXTelnetserver::AppendSendStatus(const QString &line)
{
    appendLine(m_logSend, line);
    KeepLastLines(m_logSend, 10);
}

void TAVRIXTelnetserver::KeepLastLines(QPlainTextEdit *box, int n)
{
    QTextDocument *document = box->document();
    if (document->blockCount() > n) {
        dropLines(document, n, Side::Top);
        // Kept lines that were empty before the first text are not kept.
        while (document->blockCount() > 1 && document->firstBlock().text().isEmpty()) {
            QTextCursor cursor(document);
            cursor.setPosition(document->firstBlock().next().position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
    }
    box->moveCursor(QTextCursor::End);
}

void TAVRIXTelnetserver::ShowChatReceived(const QString &text)
{
    const QString line = QStringLiteral("[%1] %2").arg(StatusText::chatTime(), text);
    insertOnTop(m_chatRecv, boundedLine(line, TAVRIXTelnetserver::longestChatLine) + u'\n', chatLineLimit);
}

void TAVRIXTelnetserver::Announce(const QString &text)
{
    m_speaker.say(text);
}

void TAVRIXTelnetserver::sendChatLine()
{
    const QString id = StatusText::trimSpaces(m_stationId->text());
    const QString text = StatusText::trimSpaces(m_chatSend->text());
    const QString message = text.isEmpty() ? id : id + u'-' + text;
    addBelow(m_logRecv, QStringLiteral("ChatSend invoked. State=%1, chatModeActive=%2")
                            .arg(DataLink::statusNumber(m_link->state()))
                            .arg(m_link->chatModeActive() ? QStringLiteral("True") : QStringLiteral("False")));
    if (message.isEmpty())
        return;
    if (m_link->transferInProgress()) {
        // A chat line on a transfer connection would become part of the file.
        insertOnTop(m_chatRecv,
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
    insertOnTop(m_chatRecv, boundedLine(line, TAVRIXTelnetserver::longestChatLine) + u'\n', chatLineLimit);
    m_chatSend->clear();
}

void TAVRIXTelnetserver::appendLine(QPlainTextEdit *box, const QString &line)
{
    // Another entry may have ended without a line break ("add below"):
    // this one still starts on a line of its own.
    const QTextBlock last = box->document()->lastBlock();
    const QString lead = last.text().isEmpty() ? QString() : QStringLiteral("\n");
    insertAtEnd(box, lead + boundedLine(line) + u'\n', statusLineLimit);
}

void TAVRIXTelnetserver::sendModemCommand()
{
    const QString command = StatusText::trimSpaces(m_command->text());
    if (!m_modem->sendCommand(command))
        return;
    appendLine(m_logRecv, QStringLiteral(">> ") + command);
    m_command->clear();
}

void TAVRIXTelnetserver::checkPort()
{
    m_logRecv->clear();
    const quint16 port = m_link->listenPort();
    QStringList lines;
    if (const PortalOutcome read = m_ports.sockets.read(lines); !read) {
        addBelow(m_logRecv, StatusText::errorLine(QStringLiteral("[CHECKPORT ERR "), 53, read.why()));
        return;
    }
    for (const QString &line : SocketTable::usingPort(lines, port))
        PrependConnectionStatus(QStringLiteral("[CheckPort] Port %1 is in use: %2").arg(port).arg(line));
    addBelow(m_logRecv, QStringLiteral("[CheckPort] Scan complete for port ") + QString::number(port));
}

void TAVRIXTelnetserver::toggleSound()
{
    const PortalOutcome muted = m_desktop.toggleMute();
    const bool on = m_sound->isChecked();
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

void TAVRIXTelnetserver::logTransfer(const TransferRecord &record)
{
    if (const PortalOutcome logged = m_ports.transferLog.append(record); !logged)
        PrependConnectionStatus(tr("The transfer log could not be written (%1); the transfer itself is not affected.")
                                    .arg(logged.why()));
    if (m_logDialog && m_logDialog->isVisible())
        m_logDialog->refresh();
}

void TAVRIXTelnetserver::showTransferLog()
{
    if (!m_logDialog) {
        m_logDialog = new TransferLogDialog(m_ports.transferLog, this);
        connect(m_logDialog, &TransferLogDialog::retryRequested, this, &TAVRIXTelnetserver::retrySend);
    }
    m_logDialog->say({});
    m_logDialog->refresh();
    m_logDialog->show();
    m_logDialog->raise();
    m_logDialog->activateWindow();
}

void TAVRIXTelnetserver::retrySend(const TransferRecord &record)
{
    const PortalOutcome started = m_link->retrySend(record);
    const QString line = started ? tr("Retrying the send of %1 to %2: the send status box shows how it goes.")
                                       .arg(record.file, record.peer)
                                 : started.why();
    if (!started)
        AppendSendStatus(line);
    if (m_logDialog)
        m_logDialog->say(line);
}
