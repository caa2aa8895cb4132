#pragma once

#include "PortalPorts.h"
#include "PortalSetup.h"

#include <QWidget>

#include <optional>

class DataLink;
class ModemLink;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class RadioLink;
class RadioSetting;
class TransferLogDialog;
struct TransferRecord;

/// The portal's one window, titled "telnet server": station list and
/// station ID, sending the newest outbox file, the status boxes and chat.
/// Controls carry their object names ("Txtremoteip", "commandsend", ...).
class TAVRIXTelnetserver : public QWidget
{
    Q_OBJECT
public:
    /// Every box is fed from outside (peers, the modem) and keeps at most
    /// this many lines, dropping the oldest.
    static constexpr int statusLineLimit = 2000;
    static constexpr int chatLineLimit = 2000;
    /// ... and at most this many characters, so a peer's long lines cannot
    /// make a box hold hundreds of megabytes of laid-out text.
    static constexpr qsizetype boxCharacterLimit = 64 * 1024;
    /// A longer status line is shortened in the middle.
    static constexpr qsizetype longestStatusLine = 1000;
    /// A longer chat line is shown shortened in the middle.
    static constexpr qsizetype longestChatLine = 4000;

    TAVRIXTelnetserver(const PortalSetup &setup, const PortalPorts &ports, QWidget *parent = nullptr);
    ~TAVRIXTelnetserver() override;

    DataLink &dataLink() { return *m_link; }
    ModemLink &modemLink() { return *m_modem; }
    RadioLink &radioLink() { return *m_radio; }
    /// Where the link choice and the modem program's AGW port are kept; the
    /// stored choice takes effect at once (the radio link starts when chosen).
    void setRadioSetting(RadioSetting *setting);
    /// The "Transfer Log" window; null until the button first opens it.
    TransferLogDialog *transferLogDialog() const { return m_logDialog; }

    /// Puts the line on top of the connection-status box.
    void PrependConnectionStatus(const QString &line);
    /// Adds the line and a line break at the end of the send-status box, which keeps its last 10 lines.
    void AppendSendStatus(const QString &line);
    /// Keeps the last n lines of a box and puts the caret at its end.
    static void KeepLastLines(QPlainTextEdit *box, int n);
    /// Shows a peer's chat text on top of the chat display with the time.
    void ShowChatReceived(const QString &text);
    void Announce(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    /// Close Program and the window's own close: during a transfer the
    /// operator is asked first, and going on breaks the transfer off.
    void closeEvent(QCloseEvent *event) override;
    /// The first show fits the window to its screen, frame included, and centres it.
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void placeOnScreen();
    void loadStations();
    void addListEntry(const QString &entry);
    void addStation();
    void deleteStation();
    void pickStation();
    void storeStationId();
    void sendChatLine();
    void addBelow(QPlainTextEdit *box, const QString &line);
    void appendLine(QPlainTextEdit *box, const QString &line);
    void sendModemCommand();
    void checkPort();
    void toggleSound();
    void returnToPacketMail();
    void chooseLink(bool radio);
    void startRadio();
    /// Where a call of the operator's goes: the IP address typed, or by radio
    /// the callsign of the selected station. None (and said why) when there is none.
    std::optional<QString> callTarget();
    void logTransfer(const TransferRecord &record);
    void showTransferLog();
    void retrySend(const TransferRecord &record);

    PortalSetup m_setup;
    PortalPorts m_ports;
    Speaker &m_speaker;
    Prompter &m_prompter;
    PortalDesktop &m_desktop;
    DataLink *m_link = nullptr;
    ModemLink *m_modem = nullptr;
    RadioLink *m_radio = nullptr;
    RadioSetting *m_radioSetting = nullptr;
    QString m_agwHost = QStringLiteral("127.0.0.1");
    quint16 m_agwPort = 8000;
    QRadioButton *m_ipChoice = nullptr;
    QRadioButton *m_radioChoice = nullptr;
    TransferLogDialog *m_logDialog = nullptr;
    bool m_muteFailureTold = false;
    bool m_placed = false;

    QLineEdit *m_text1 = nullptr;
    QListWidget *m_list1 = nullptr;
    QLineEdit *m_remoteIp = nullptr;
    QLineEdit *m_stationId = nullptr;
    QPlainTextEdit *m_logSend = nullptr;
    QPlainTextEdit *m_logRecv = nullptr;
    QLineEdit *m_chatSend = nullptr;
    QPlainTextEdit *m_chatRecv = nullptr;
    QLineEdit *m_command = nullptr;
    QCheckBox *m_sound = nullptr;
};
