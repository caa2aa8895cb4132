#pragma once

#include "platform/ProcessWatch.h"
#include "shell/Outcome.h"
#include "shell/SettingFiles.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class Speaker;

/// Watches the outside programs the launcher started or found running.
/// When one ends, it says "<name> has stopped" (spoken when the sound is
/// on), clears the program's "running" state as Reset does, so its start
/// button works again, and tells whoever listens.
///
/// It outlives the launcher screen: a program that stops while the screen
/// is closed finds its button enabled when the screen loads again.
class LauncherWatchdog : public QObject
{
    Q_OBJECT
public:
    /// A program as the launcher knows it.
    struct Program {
        QString name;         ///< its file name, as spoken and shown
        SettingFile stateFile; ///< its start button's state file
    };

    LauncherWatchdog(const SettingFiles &files, ProcessWatch &watch, Speaker &speaker,
                     std::function<bool()> soundOn, std::function<void(const QString &)> record,
                     QObject *parent = nullptr);

    /// Switched off, nothing more is watched; what is watched already stays.
    void setEnabled(bool on) { m_enabled = on; }
    bool enabled() const { return m_enabled; }

    /// Watches a program the launcher started, by its process id.
    Result<ProcessWatch::Way> watchStarted(const Program &program, qint64 pid);
    /// Watches a program found running, once its process is found.
    Result<ProcessWatch::Way> watchFound(const Program &program);
    /// For a program the desktop opens (no process id comes back): looks for
    /// it by name every `interval` ms, `tries` times, and watches it once found.
    void lookFor(const Program &program, int tries = 20);
    /// How often `lookFor` looks, in ms (3 s unless set).
    void setLookInterval(int ms) { m_lookIntervalMs = ms; }

    /// True while the program with that state file is watched.
    bool watches(const SettingFile &stateFile) const;

    /// "<name> has stopped".
    static QString stoppedText(const QString &name);

signals:
    /// A watched program ended; `notice` is what the launcher shows.
    void programStopped(const QString &stateFileName, const QString &notice);

private:
    void onStopped(qint64 pid);
    void lookAgain();

    const SettingFiles &m_files;
    ProcessWatch &m_watch;
    Speaker &m_speaker;
    std::function<bool()> m_soundOn;
    std::function<void(const QString &)> m_record;
    bool m_enabled = true;
    int m_lookIntervalMs = 3000;
    QHash<qint64, Program> m_watched;
    struct Looking {
        Program program;
        int triesLeft;
    };
    QList<Looking> m_looking;
    QTimer *m_lookTimer = nullptr;
};
