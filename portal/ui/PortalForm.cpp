#include "PortalForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

PortalForm PortalForm::build(QWidget *window)
{
    PortalForm f;
    auto label = [window](const char *name, const QString &caption) {
        auto *l = new QLabel(caption, window);
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        return l;
    };
    auto button = [window](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, window);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    auto line = [window](const char *name) {
        auto *e = new QLineEdit(window);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    auto box = [window](const char *name) {
        auto *e = new QPlainTextEdit(window);
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
    auto *stationColumn = new QVBoxLayout;
    stationColumn->addWidget(label("Label1", QStringLiteral(" Enter Callsign and Ip Address         of Stations to Save"
                                                       "         eg Mycall-192.111.0.65")));
    f.entry = line("Text1");
    stationColumn->addWidget(f.entry);
    f.add = button("Commandadd", QStringLiteral("&ADD"));
    stationColumn->addWidget(f.add);
    f.remove = button("Commanddelete", QStringLiteral("&Delete File In List"));
    stationColumn->addWidget(f.remove);
    stationColumn->addWidget(label("Label3", QStringLiteral("Click on IP Address to Send To")));
    f.stations = new QListWidget(window);
    f.stations->setObjectName(QStringLiteral("List1"));
    // An entry too long for the list keeps its address at the end in sight; its tool tip holds it whole.
    f.stations->setTextElideMode(Qt::ElideMiddle);
    stationColumn->addWidget(f.stations, 1);
    stationColumn->addWidget(label("Label2", QStringLiteral("IP Address Sending To ")));
    f.address = line("Txtremoteip");
    stationColumn->addWidget(f.address);
    f.reconnect = button("Commandreconnect", QStringLiteral("Reconnect &Last IP"));
    stationColumn->addWidget(f.reconnect);
    stationColumn->addWidget(label("Label10", QStringLiteral("Your Station ID")));
    f.stationId = line("Txtstationid");
    stationColumn->addWidget(f.stationId);
    auto *linkRow = new QHBoxLayout;
    f.ipChoice = new QRadioButton(tr("IP net&work"), window);
    f.ipChoice->setObjectName(QStringLiteral("Optipnetwork"));
    f.ipChoice->setToolTip(tr("Send and chat over the IP network, to the address of the selected station."));
    f.ipChoice->setAutoExclusive(false);
    f.ipChoice->setChecked(true);
    linkRow->addWidget(f.ipChoice);
    f.radioChoice = new QRadioButton(tr("Radio modem (A&GW)"), window);
    f.radioChoice->setObjectName(QStringLiteral("Optradiomodem"));
    f.radioChoice->setToolTip(tr("Send and chat over the sound-card radio modem program's AGW port, to the callsign "
                                 "of the selected station."));
    f.radioChoice->setAutoExclusive(false);
    linkRow->addWidget(f.radioChoice);
    stationColumn->addLayout(linkRow);
    f.send = button("commandsend", QStringLiteral("&Send Packet Mail  Message"));
    stationColumn->addWidget(f.send);
    f.sound = new QCheckBox(QStringLiteral("      S&OUND"), window);
    f.sound->setObjectName(QStringLiteral("Chksoundtoggle"));
    stationColumn->addWidget(f.sound);
    f.exit = button("Exit", QStringLiteral("Close &Program"));
    stationColumn->addWidget(f.exit);

    auto *status = new QVBoxLayout;
    status->addWidget(label("Label7", QStringLiteral("PACKET MAIL and CHAT MESSAGE SEND STATUS")));
    f.sendStatus = box("Txtlogsend");
    status->addWidget(f.sendStatus, 1);
    auto *sendRow = new QHBoxLayout;
    f.clearSend = button("Cmdclearlogsend", QStringLiteral("Clear &Message Send"));
    sendRow->addWidget(f.clearSend, 1);
    f.transferLog = button("Cmdtransferlog", QStringLiteral("Trans&fer Log"));
    sendRow->addWidget(f.transferLog);
    status->addLayout(sendRow);
    status->addWidget(label("Label5", QStringLiteral("Connection Status")));
    f.connectionStatus = box("Txtlogrecv");
    status->addWidget(f.connectionStatus, 2);
    f.clearRecv = button("Cmdclearlogrecv", QStringLiteral("Clear Connection Stat&us"));
    status->addWidget(f.clearRecv);
    f.checkPort = button("commandcheckport", QStringLiteral("Chec&k Port Status"));
    status->addWidget(f.checkPort);
    status->addWidget(label("Label9", QStringLiteral("Enter NPR Modem Command")));
    f.command = line("Txtcommand");
    status->addWidget(f.command);
    f.sendCommand = button("Cmdsendcommand", QStringLiteral("           &Enter            ( Enter key or Click)"));
    status->addWidget(f.sendCommand);
    auto *modemRow = new QHBoxLayout;
    f.modemConnect = button("Cmdconnect", QStringLiteral("&Connect to Modem"));
    modemRow->addWidget(f.modemConnect);
    f.modemEnd = button("cmddisconnect", QStringLiteral("End Connect&ion"));
    modemRow->addWidget(f.modemEnd);
    status->addLayout(modemRow);

    auto *chat = new QVBoxLayout;
    auto *chatRow = new QHBoxLayout;
    f.startChat = button("commandstartchat", QStringLiteral("  C&hat Connect "));
    chatRow->addWidget(f.startChat);
    f.endChat = button("commandendchat", QStringLiteral(" E&nd  Chat"));
    chatRow->addWidget(f.endChat);
    chat->addLayout(chatRow);
    chat->addWidget(label("Label4", QStringLiteral("Chat Send")));
    f.chatLine = line("Txtchatsend");
    chat->addWidget(f.chatLine);
    f.chatSend = button("commandchatsend", QStringLiteral("To Send Chat Message Hit Enter Ke&y or Click Here"));
    chat->addWidget(f.chatSend);
    f.clearChatSend = button("Cmdclearchtsend", QStringLiteral("Clear Cha&t Send"));
    chat->addWidget(f.clearChatSend);
    chat->addWidget(label("Label8", QStringLiteral("Chat Receive")));
    f.chatShown = box("Txtchatrecv");
    chat->addWidget(f.chatShown, 1);
    f.clearChatRecv = button("Cmdclearchatrecv", QStringLiteral("Clear Chat Recei&ve"));
    chat->addWidget(f.clearChatRecv);
    f.returnMail = button("cmdreturmmail", QStringLiteral("&Return to Packet Mail"));
    chat->addWidget(f.returnMail);
    f.altTab = button("Command1", QStringLiteral("Alt/Ta&b"));
    chat->addWidget(f.altTab);

    auto *grid = new QGridLayout(window);
    grid->addWidget(title, 0, 0, 1, 3);
    grid->addLayout(stationColumn, 1, 0);
    grid->addLayout(status, 1, 1);
    grid->addLayout(chat, 1, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    grid->setColumnStretch(0, 2);
    window->resize(1100, 720); // shrunk to the screen when shown
    return f;
}
