#include "UnattendedStation.h"

#include "Modsoundcontrol.h"
#include "SettingFiles.h"
#include "platform/Notifier.h"
#include "platform/Prompter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

QSet<QString> UnattendedStation::namesIn(const QString &folder)
{
    QSet<QString> names;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (files.hasNext()) {
        files.next();
        names.insert(files.fileName());
    }
    return names;
}

UnattendedStation::UnattendedStation(const SettingFiles &files, const Clock &clock, Speaker &speaker,
                                     Prompter &prompter, Notifier &notifier, ProcessWatch &watch, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_prompter(prompter)
    , m_notifier(notifier)
    , m_settings(UnattendedSettings::load(files))
    , m_log(files.programDirectory(), clock)
    , m_alert(clock, speaker, [&files] { return Modsoundcontrol(files).isSoundOn(); })
    , m_watchdog(files, watch, speaker, [&files] { return Modsoundcontrol(files).isSoundOn(); },
                 [this](const QString &event) { record(event); })
{
    follow();
    connect(&m_alert, &ArrivalAlert::unreadChanged, this, [this](int count) {
        if (m_settings.notify)
            m_notifier.showUnread(count);
    });
    connect(&m_notifier, &Notifier::activated, this, &UnattendedStation::frontRequested);
    m_lister.setMaxThreadCount(1);
}

UnattendedStation::~UnattendedStation()
{
    // A listing still running would post its answer to an object gone.
    m_lister.waitForDone();
}

void UnattendedStation::takeArrivalsInBackground(const QString &folder)
{
    m_lister.start([this, folder] {
        QSet<QString> present = namesIn(folder);
        QMetaObject::invokeMethod(
            this, [this, folder, present = std::move(present)] { static_cast<void>(takeArrivalsFrom(folder, present)); },
            Qt::QueuedConnection);
    });
}

Outcome UnattendedStation::apply(const UnattendedSettings &settings)
{
    if (const Outcome stored = settings.store(m_files); !stored)
        return stored;
    m_settings = settings;
    follow();
    return {};
}

void UnattendedStation::follow()
{
    m_alert.setIntervalMinutes(m_settings.repeatMinutes);
    m_watchdog.setEnabled(m_settings.watchdog);
    m_log.setEnabled(m_settings.log);
}

void UnattendedStation::baseline(const QString &folder)
{
    m_folder = folder;
    m_known = namesIn(folder);
    m_alert.keepOnly(m_known);
}

void UnattendedStation::watchFolder(const QString &folder)
{
    if (folder == m_folder)
        static_cast<void>(takeArrivals(folder));
    else
        baseline(folder);
}

QStringList UnattendedStation::takeArrivals(const QString &folder)
{
    if (folder != m_folder) {
        baseline(folder);
        return {};
    }
    return takeArrivalsFrom(folder, namesIn(folder));
}

QStringList UnattendedStation::takeArrivalsFrom(const QString &folder, const QSet<QString> &present)
{
    if (folder != m_folder)
        return {};
    QStringList arrived;
    for (const QString &name : present)
        if (!m_known.contains(name))
            arrived << name;
    m_known = present;
    m_alert.keepOnly(present);
    if (arrived.isEmpty())
        return {};
    arrived.sort(Qt::CaseInsensitive);
    const QDir dir(folder);
    for (const QString &name : std::as_const(arrived))
        record(tr("arrived %1 (%2 bytes)").arg(name).arg(QFileInfo(dir.filePath(name)).size()));
    m_alert.arrived(arrived);
    if (m_settings.notify) {
        constexpr qsizetype shown = 5;
        QString body = arrived.mid(0, shown).join(u'\n');
        if (arrived.size() > shown)
            body += u'\n' + tr("and %n more", nullptr, int(arrived.size() - shown));
        m_notifier.notify(tr("A Message Has Arrived (%n unread)", nullptr, m_alert.unread()), body);
    }
    return arrived;
}

void UnattendedStation::record(const QString &event)
{
    const Outcome written = m_log.append(event);
    if (written) {
        m_logFailing = false;
        return;
    }
    if (std::exchange(m_logFailing, true))
        return;
    m_prompter.inform(tr("The station log cannot be written, so events are not recorded until it can: %1")
                          .arg(written.error()),
                      Prompter::Icon::Exclamation);
}

void UnattendedStation::messageRead(const QString &name)
{
    record(tr("read %1").arg(name));
    m_known.remove(name);
    m_alert.read(name);
}

void UnattendedStation::messageDeleted(const QString &name, const QString &trashPath)
{
    record(trashPath.isEmpty() ? tr("deleted %1 for good (no trash)").arg(name)
                               : tr("deleted %1 to the trash: %2").arg(name, QDir::toNativeSeparators(trashPath)));
    m_known.remove(name);
    m_alert.gone(name);
}
