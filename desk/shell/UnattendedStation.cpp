#include "UnattendedStation.h"

#include "Modsoundcontrol.h"
#include "SettingFiles.h"
#include "platform/Notifier.h"
#include "platform/Prompter.h"

#include <QDir>

ReceiveFolderEntries::Snapshot UnattendedStation::namesIn(const QString &folder)
{
    // The same entries the monitor announces and the list shows.
    return ReceiveFolderEntries::snapshot(folder);
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
    // The desktop's tray icon stands from the start; a station that does not
    // notify shows none.
    if (!m_settings.notify)
        m_notifier.hideTray();
    connect(&m_alert, &ArrivalAlert::unreadChanged, this, [this](int count) {
        if (m_settings.notify)
            m_notifier.showUnread(count);
    });
    connect(&m_notifier, &Notifier::activated, this, &UnattendedStation::frontRequested);
    connect(&m_alert, &ArrivalAlert::repeated, this, [this] {
        // With the sound off the rhythm is kept but nothing is heard, and the
        // log says which, so a quiet station is not taken for a told one.
        record(Modsoundcontrol(m_files).isSoundOn()
                   ? tr("arrival alert repeated, %n unread", nullptr, m_alert.unread())
                   : tr("arrival alert due again, not spoken as the sound is off, %n unread", nullptr,
                        m_alert.unread()));
    });
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
        ReceiveFolderEntries::Snapshot present = namesIn(folder);
        QMetaObject::invokeMethod(
            this, [this, folder, present = std::move(present)] { static_cast<void>(takeArrivalsFrom(folder, present)); },
            Qt::QueuedConnection);
    });
}

Outcome UnattendedStation::apply(const UnattendedSettings &settings)
{
    if (const Outcome stored = settings.store(m_files); !stored)
        return stored;
    const bool notifyingBefore = m_settings.notify;
    m_settings = settings;
    follow();
    // Switched on, the tray comes back with what came while it was not
    // told; switched off, no stale count is left standing in it.
    if (m_settings.notify && !notifyingBefore)
        m_notifier.showUnread(m_alert.unread());
    else if (!m_settings.notify && notifyingBefore)
        m_notifier.hideTray();
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
    forgetUnreadGone();
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

QStringList UnattendedStation::takeArrivalsFrom(const QString &folder, const ReceiveFolderEntries::Snapshot &present)
{
    if (folder != m_folder)
        return {};
    const ReceiveFolderEntries::Changes changes = ReceiveFolderEntries::compare(m_known, present);
    m_known = present;
    noteRenames(changes.renamed);
    forgetUnreadGone();
    QStringList arrived = changes.arrived;
    if (arrived.isEmpty())
        return {};
    arrived.sort(Qt::CaseInsensitive);
    // Keys are how the folder knows a file; names are what the operator reads.
    QStringList names;
    for (const QString &key : std::as_const(arrived)) {
        names << ReceiveFolderEntries::nameOf(key);
        record(tr("arrived %1 (%2 bytes)").arg(names.constLast()).arg(ReceiveFolderEntries::sizeOf(folder, key)));
    }
    m_alert.arrived(arrived);
    if (m_settings.notify) {
        constexpr qsizetype shown = 5;
        QString body = names.mid(0, shown).join(u'\n');
        if (names.size() > shown)
            body += u'\n' + tr("and %n more", nullptr, int(names.size() - shown));
        m_notifier.notify(tr("A Message Has Arrived (%n unread)", nullptr, m_alert.unread()), body);
    }
    return names;
}

void UnattendedStation::forgetUnreadGone()
{
    m_alert.keepOnly([this](const QString &key) { return m_known.contains(key); });
}

void UnattendedStation::renamedByDesk(const QString &folder, const QList<std::pair<QString, QString>> &renames)
{
    if (folder != m_folder)
        return;
    // Told at once, so a message read under its new name before the next
    // arrival is no longer counted unread under its old one.
    QList<std::pair<QString, QString>> known;
    for (const auto &rename : renames) {
        const auto before = m_known.constFind(rename.first);
        if (before == m_known.cend())
            continue;
        const quint64 file = *before;
        m_known.erase(before);
        m_known.insert(rename.second, file);
        known.append(rename);
    }
    noteRenames(known);
}

void UnattendedStation::noteRenames(const QList<std::pair<QString, QString>> &renames)
{
    for (const auto &[before, now] : renames) {
        m_alert.renamed(before, now);
        record(tr("renamed %1 to %2 so that it can be opened").arg(ReceiveFolderEntries::nameOf(before), now));
    }
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
