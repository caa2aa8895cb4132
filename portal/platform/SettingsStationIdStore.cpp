#include "SettingsStationIdStore.h"

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

void SettingsStationIdStore::store(const QString &id)
{
    QSettings store = settings();
    store.setValue(key, id);
    store.sync();
}
