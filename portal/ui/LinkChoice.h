#pragma once

#include "DataLink.h"

#include <QObject>

#include <optional>

class QLineEdit;
class QListWidget;
class QRadioButton;
class RadioLink;
class RadioSetting;

/// The choice between the IP network and the radio modem: which of the two
/// calls go out on, kept in the radio setting file, and where a call of the
/// operator's goes. The radio link runs while it is chosen, registered
/// under the station ID.
class LinkChoice : public QObject
{
    Q_OBJECT
public:
    /// The controls it reads: the two choices, the station ID, the station
    /// list and the address line.
    struct Controls
    {
        QRadioButton *ip = nullptr;
        QRadioButton *radio = nullptr;
        QLineEdit *stationId = nullptr;
        QListWidget *stations = nullptr;
        QLineEdit *address = nullptr;
    };

    LinkChoice(const Controls &controls, RadioLink &radio, quint16 peerPort, QObject *parent = nullptr);

    /// Where the choice and the modem program's AGW port are kept; the
    /// stored choice takes effect at once.
    void setSetting(RadioSetting *setting);
    /// The operator's choice: stored, said and put into effect.
    void choose(bool radio);
    /// The station ID may have changed: the radio link registers the new one.
    void stationIdChanged();
    /// Where a call of the operator's goes: the IP address typed, or by radio
    /// the callsign of the selected station. None (and said why) when there is none.
    std::optional<QString> callTarget();
    /// Where the data link dials for a call to `remote`.
    DataLink::Route route(const QString &remote);

signals:
    /// A line for the connection status box.
    void connectionLine(const QString &line);
    /// A line for the send status box.
    void sendLine(const QString &line);

private:
    void startRadio();

    Controls m_controls;
    RadioLink &m_radio;
    quint16 m_peerPort;
    RadioSetting *m_setting = nullptr;
    QString m_agwHost = QStringLiteral("127.0.0.1");
    quint16 m_agwPort = 8000;
};
