#include "FliteSpeaker.h"

#include <QTextToSpeech>

namespace {
// Longer than any portal announcement; guards against an engine that never
// reports the end of a phrase.
constexpr int phraseLimitMs = 15000;
} // namespace

FliteSpeaker::FliteSpeaker(QObject *parent)
    : QObject(parent)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(phraseLimitMs);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_speaking = false;
        sayNext();
    });
}

FliteSpeaker::~FliteSpeaker() = default;

void FliteSpeaker::say(const QString &phrase)
{
    if (m_broken)
        return;
    m_queue.enqueue(phrase);
    sayNext();
}

bool FliteSpeaker::ensureEngine()
{
    if (m_engine)
        return !m_broken;
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty()) {
        giveUp(tr("no speech engine is installed"));
        return false;
    }
    // flite runs inside the process and needs no speech daemon.
    const QString name = engines.contains(QStringLiteral("flite")) ? QStringLiteral("flite") : engines.first();
    // Created once and kept: tearing an engine down while it synthesises is unsafe.
    m_engine = new QTextToSpeech(name, this);
    connect(m_engine, &QTextToSpeech::stateChanged, this, &FliteSpeaker::onStateChanged);
    if (m_engine->state() == QTextToSpeech::Error) {
        giveUp(m_engine->errorString());
        return false;
    }
    return true;
}

void FliteSpeaker::sayNext()
{
    if (m_speaking || m_queue.isEmpty() || m_broken)
        return;
    if (!ensureEngine())
        return;
    m_speaking = true;
    m_watchdog.start();
    m_engine->say(m_queue.dequeue());
}

void FliteSpeaker::onStateChanged()
{
    const QTextToSpeech::State state = m_engine->state();
    if (state == QTextToSpeech::Error) {
        m_watchdog.stop();
        m_speaking = false;
        giveUp(m_engine->errorString());
        return;
    }
    if (state == QTextToSpeech::Ready) {
        m_watchdog.stop();
        m_speaking = false;
        sayNext();
    }
}

void FliteSpeaker::giveUp(const QString &reason)
{
    m_queue.clear();
    if (m_broken)
        return;
    m_broken = true;
    emit unavailable(reason.isEmpty() ? tr("the speech engine reported an error") : reason);
}
