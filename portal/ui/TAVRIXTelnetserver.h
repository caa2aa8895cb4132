#pragma once

#include "PortalForm.h"
#include "PortalPorts.h"
#include "PortalSetup.h"
#include "StatusBox.h"

#include <QWidget>

class DataLink;
class LinkChoice;
class ModemConsole;
class ModemLink;
class RadioLink;
class RadioSetting;
class StationListBox;
class TransferLogDialog;
class TransferLogKeeper;

/// The portal's one window, titled "telnet server": station list and
/// station ID, sending the newest outbox file, the status boxes and chat.
/// Controls carry their object names ("Txtremoteip", "commandsend", ...).
class TAVRIXTelnetserver : public QWidget
{
    Q_OBJECT
public:
    /// Every box is fed from outside (peers, the modem) and keeps at most
    /// this many lines, dropping the oldest.
    static constexpr int statusLineLimit = StatusBox::lineLimit;
    static constexpr int chatLineLimit = 2000;
    /// ... and at most this many characters, so a peer's long lines cannot
    /// make a box hold hundreds of megabytes of laid-out text.
    static constexpr qsizetype boxCharacterLimit = StatusBox::characterLimit;
    /// A longer status line is shortened in the middle.
    static constexpr qsizetype longestStatusLine = StatusBox::longestLine;
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
    TransferLogDialog *transferLogDialog() const;

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
    void connectControls();
    void placeOnScreen();
    void storeStationId();
    void sendChatLine();
    void toggleSound();
    void returnToPacketMail();

    PortalSetup m_setup;
    PortalPorts m_ports;
    Speaker &m_speaker;
    Prompter &m_prompter;
    PortalDesktop &m_desktop;
    DataLink *m_link = nullptr;
    ModemLink *m_modem = nullptr;
    RadioLink *m_radio = nullptr;
    PortalForm m_form;
    StationListBox *m_stations = nullptr;
    LinkChoice *m_linkChoice = nullptr;
    TransferLogKeeper *m_log = nullptr;
    ModemConsole *m_console = nullptr;
    bool m_muteFailureTold = false;
    bool m_placed = false;
};
