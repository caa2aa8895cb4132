#include "SettingsStationIdStore.h"

#include <QDir>
#include <QObject>
#include <QSettings>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("telnet server"), QStringLiteral("telnet server"));
}

const QString key = QStringLiteral("Settings/StationID");

} // namespace

QString SettingsStationIdStore::load()
{
    return settings().value(key, QString()).toString();
}

PortalOutcome SettingsStationIdStore::store(const QString &id)
{
    QSettings store = settings();
    store.setValue(key, id);
    store.sync();
    // QSettings keeps no system reason; its status says which kind of failure it met.
    const QString path = QDir::toNativeSeparators(store.fileName());
    switch (store.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return PortalOutcome::failure(
            QObject::tr("%1 cannot be written (no permission, no space, or something else is in its place)").arg(path));
    case QSettings::FormatError:
        return PortalOutcome::failure(QObject::tr("%1 is not a settings file and is left as it is").arg(path));
    }
    return PortalOutcome::failure(QObject::tr("%1 cannot be written").arg(path));
}
