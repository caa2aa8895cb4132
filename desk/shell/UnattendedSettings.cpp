#include "UnattendedSettings.h"

#include "SettingFiles.h"

namespace {

std::optional<bool> onOff(const QString &value)
{
    if (value.compare(QStringLiteral("on"), Qt::CaseInsensitive) == 0)
        return true;
    if (value.compare(QStringLiteral("off"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

QString onOff(bool value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

UnattendedSettings UnattendedSettings::parse(const QString &line)
{
    UnattendedSettings settings;
    // A hand-edited file is outside input: only the known keys with values
    // that make sense are taken.
    for (const QString &pair : line.left(1024).split(u',')) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = pair.left(equals).trimmed().toLower();
        const QString value = pair.mid(equals + 1).trimmed();
        if (key == u"repeat") {
            bool number = false;
            const int minutes = value.toInt(&number);
            if (number && repeatChoices().contains(minutes))
                settings.repeatMinutes = minutes;
        } else if (key == u"watchdog") {
            settings.watchdog = onOff(value).value_or(settings.watchdog);
        } else if (key == u"notify") {
            settings.notify = onOff(value).value_or(settings.notify);
        } else if (key == u"log") {
            settings.log = onOff(value).value_or(settings.log);
        }
    }
    return settings;
}

QString UnattendedSettings::toLine() const
{
    return QStringLiteral("repeat=%1,watchdog=%2,notify=%3,log=%4")
        .arg(repeatMinutes)
        .arg(onOff(watchdog), onOff(notify), onOff(log));
}

UnattendedSettings UnattendedSettings::load(const SettingFiles &files)
{
    if (!files.exists(Setting::Unattended))
        return {};
    return parse(files.readLine(Setting::Unattended).value_or(QString()));
}

Outcome UnattendedSettings::store(const SettingFiles &files) const
{
    return files.writePrintLine(Setting::Unattended, toLine());
}
