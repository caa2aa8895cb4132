#include "LinkChoice.h"

#include "RadioLink.h"
#include "RadioSetting.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

LinkChoice::LinkChoice(const Controls &controls, RadioLink &radio, quint16 peerPort, QObject *parent)
    : QObject(parent)
    , m_controls(controls)
    , m_radio(radio)
    , m_peerPort(peerPort)
{
    // Not auto-exclusive, so that Tab reaches both: each click sets the pair itself.
    connect(m_controls.ip, &QRadioButton::clicked, this, [this] { choose(false); });
    connect(m_controls.radio, &QRadioButton::clicked, this, [this] { choose(true); });
}

void LinkChoice::setSetting(RadioSetting *setting)
{
    m_setting = setting;
    if (!setting)
        return;
    const RadioSetting::Loaded loaded = setting->load();
    if (!loaded.problem.isEmpty())
        emit connectionLine(tr("Radio setting: %1").arg(loaded.problem));
    const RadioSetting::Choice &choice = loaded.choice;
    m_agwHost = choice.host;
    m_agwPort = choice.port;
    m_controls.radio->setChecked(choice.radio);
    m_controls.ip->setChecked(!choice.radio);
    if (choice.radio)
        startRadio();
}

void LinkChoice::choose(bool radio)
{
    m_controls.radio->setChecked(radio);
    m_controls.ip->setChecked(!radio);
    if (m_setting) {
        if (const PortalOutcome stored = m_setting->storeRadio(radio); !stored)
            emit connectionLine(tr("%1; the choice holds until the program ends.").arg(stored.why()));
    }
    if (!radio) {
        m_radio.stop();
        emit connectionLine(tr("Link: IP network. Send, chat and reconnect call the IP address of the selected "
                               "station."));
        return;
    }
    emit connectionLine(tr("Link: radio modem program at %1 port %2 (AGW). Send, chat and reconnect call the "
                           "callsign of the selected station; the IP link still answers calls.")
                            .arg(m_agwHost)
                            .arg(m_agwPort));
    startRadio();
}

void LinkChoice::stationIdChanged()
{
    // The radio link answers to the station ID: a new one is registered in its place.
    if (m_controls.radio->isChecked() && RadioLink::callsignOf(m_controls.stationId->text()) != m_radio.callsign())
        startRadio();
}

void LinkChoice::startRadio()
{
    m_radio.start(m_agwHost, m_agwPort, RadioLink::callsignOf(m_controls.stationId->text()));
}

std::optional<QString> LinkChoice::callTarget()
{
    if (!m_controls.radio->isChecked())
        return m_controls.address->text();
    const QListWidgetItem *item = m_controls.stations->currentItem();
    const QString call = item ? RadioLink::callsignOf(item->text()) : QString();
    const PortalOutcome armed =
        call.isEmpty()
            ? PortalOutcome::failure(tr("pick a station in the list; its entry starts with the callsign that is called"))
            : m_radio.arm(call);
    if (armed)
        return call;
    emit sendLine(tr("Not called by radio: %1.").arg(armed.why()));
    return std::nullopt;
}

DataLink::Route LinkChoice::route(const QString &remote)
{
    if (!m_controls.radio->isChecked())
        return {remote, m_peerPort, {}};
    if (const PortalOutcome armed = m_radio.arm(remote); !armed) {
        emit sendLine(tr("Not called by radio: %1.").arg(armed.why()));
        return {};
    }
    // The radio link answers every session in the end (an orderly end, or a reset when the modem program
    // gives up or is gone), and at 1200 baud most of a file still waits in its queue after the last byte left.
    return {QStringLiteral("127.0.0.1"), m_radio.dialPort(), RadioLink::callsignOf(remote), RadioLink::deliveryLimitMs};
}
