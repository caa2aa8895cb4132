#pragma once

#include "Speaker.h"

#include <QObject>
#include <QQueue>
#include <QTimer>

class QTextToSpeech;

/// Speech through one long-lived QTextToSpeech on the "flite" engine (any
/// other engine only when flite is missing). Phrases are queued and spoken
/// one after another while the window goes on. When no engine, voice or
/// audio device is there, unavailable() is emitted once and the phrases are
/// dropped from then on.
class FliteSpeaker : public QObject, public Speaker
{
    Q_OBJECT
public:
    explicit FliteSpeaker(QObject *parent = nullptr);
    ~FliteSpeaker() override;

    void say(const QString &phrase) override;

signals:
    void unavailable(const QString &reason);

private:
    bool ensureEngine();
    void sayNext();
    void onStateChanged();
    void giveUp(const QString &reason);

    QTextToSpeech *m_engine = nullptr;
    QQueue<QString> m_queue;
    QTimer m_watchdog;
    bool m_speaking = false;
    bool m_broken = false;
};
