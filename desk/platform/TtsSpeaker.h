#pragma once

#include "Speaker.h"

#include <QObject>
#include <QQueue>
#include <QTimer>

class Prompter;
class QTextToSpeech;

/// Speech through Qt TextToSpeech. Phrases wait in a queue and are spoken
/// one after another while the window goes on. When no engine, voice or
/// audio device is there, the operator is told once and the desk carries
/// on without a voice.
class TtsSpeaker : public QObject, public Speaker
{
    Q_OBJECT
public:
    explicit TtsSpeaker(Prompter &prompter, QObject *parent = nullptr);
    ~TtsSpeaker() override;

    void speak(const QString &phrase) override;
    void speakAndWait(const QString &phrase) override;

private:
    bool ensureEngine();
    void sayNext();
    void onStateChanged();
    void fail(const QString &reason);

    Prompter &m_prompter;
    QTextToSpeech *m_engine = nullptr;
    QQueue<QString> m_queue;
    QTimer m_watchdog;
    bool m_busy = false;
    bool m_failureTold = false;
    bool m_quiet = false;
};
