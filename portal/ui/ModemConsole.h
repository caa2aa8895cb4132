#pragma once

#include <QObject>

class DataLink;
class ModemLink;
class QLineEdit;
class QPlainTextEdit;
class SocketList;

/// The window's tools under the connection status box: a command line to
/// the NPR modem, whose answers show in the box, and the check of which
/// connections use the listening port.
class ModemConsole : public QObject
{
    Q_OBJECT
public:
    ModemConsole(QLineEdit *command, QPlainTextEdit *box, ModemLink &modem, DataLink &link, SocketList &sockets,
                 QObject *parent = nullptr);

    /// Sends the typed command to the modem and shows it.
    void sendCommand();
    /// Lists in the box what uses the listening port.
    void checkPort();

private:
    QLineEdit *m_command;
    QPlainTextEdit *m_box;
    ModemLink &m_modem;
    DataLink &m_link;
    SocketList &m_sockets;
};
