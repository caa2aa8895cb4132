#pragma once

#include <QCoreApplication>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

/// The window's controls, laid out in three columns under the title:
/// stations and sending, the status boxes and modem tools, chat. Each
/// carries its object name ("Txtremoteip", "commandsend", ...); the window
/// gives them their work.
struct PortalForm
{
    // The captions are the window's words, in the window's translation context.
    Q_DECLARE_TR_FUNCTIONS(TAVRIXTelnetserver)
public:
    /// Creates the controls on `window` and lays them out.
    static PortalForm build(QWidget *window);

    QLineEdit *entry = nullptr; ///< a station list entry being typed
    QPushButton *add = nullptr;
    QPushButton *remove = nullptr;
    QListWidget *stations = nullptr;
    QLineEdit *address = nullptr; ///< the IP address sending to
    QPushButton *reconnect = nullptr;
    QLineEdit *stationId = nullptr;
    QRadioButton *ipChoice = nullptr;
    QRadioButton *radioChoice = nullptr;
    QPushButton *send = nullptr;
    QCheckBox *sound = nullptr;
    QPushButton *exit = nullptr;

    QPlainTextEdit *sendStatus = nullptr;
    QPushButton *clearSend = nullptr;
    QPushButton *transferLog = nullptr;
    QPlainTextEdit *connectionStatus = nullptr;
    QPushButton *clearRecv = nullptr;
    QPushButton *checkPort = nullptr;
    QLineEdit *command = nullptr; ///< a command for the NPR modem
    QPushButton *sendCommand = nullptr;
    QPushButton *modemConnect = nullptr;
    QPushButton *modemEnd = nullptr;

    QPushButton *startChat = nullptr;
    QPushButton *endChat = nullptr;
    QLineEdit *chatLine = nullptr; ///< the chat line being typed
    QPushButton *chatSend = nullptr;
    QPushButton *clearChatSend = nullptr;
    QPlainTextEdit *chatShown = nullptr;
    QPushButton *clearChatRecv = nullptr;
    QPushButton *returnMail = nullptr;
    QPushButton *altTab = nullptr;
};
