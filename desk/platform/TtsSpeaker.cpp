#include "TtsSpeaker.h"

#include "Prompter.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextToSpeech>

namespace {
// Long enough for any announcement the desk makes; guards against an engine
// that never reports the end of a phrase.
constexpr int phraseLimitMs = 15000;
constexpr int lastWordsLimitMs = 4000;
} // namespace

TtsSpeaker::TtsSpeaker(Prompter &prompter, QObject *parent)
    : QObject(parent)
    , m_prompter(prompter)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(phraseLimitMs);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_busy = false;
        sayNext();
    });
}

TtsSpeaker::~TtsSpeaker() = default;

bool TtsSpeaker::ensureEngine()
{
    if (m_engine)
        return m_engine->state() != QTextToSpeech::Error;
    // flite runs inside the process and needs no speech daemon; any other
    // engine is only a fallback.
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty()) {
        fail(tr("no speech engine is installed"));
        return false;
    }
    const QString engine = engines.contains(QStringLiteral("flite")) ? QStringLiteral("flite") : engines.first();
    // One engine for the whole run: tearing one down while it synthesises is unsafe.
    m_engine = new QTextToSpeech(engine, this);
    connect(m_engine, &QTextToSpeech::stateChanged, this, &TtsSpeaker::onStateChanged);
    if (m_engine->state() == QTextToSpeech::Error) {
        fail(m_engine->errorString());
        return false;
    }
    return true;
}

void TtsSpeaker::speak(const QString &phrase)
{
    m_queue.enqueue(phrase);
    sayNext();
}

void TtsSpeaker::speakAndWait(const QString &phrase)
{
    m_quiet = true; // the program is about to end: no message boxes now
    speak(phrase);
    QEventLoop loop;
    QElapsedTimer waited;
    waited.start();
    while ((m_busy || !m_queue.isEmpty()) && waited.elapsed() < lastWordsLimitMs)
        loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 50);
}

void TtsSpeaker::sayNext()
{
    if (m_busy || m_queue.isEmpty())
        return;
    if (!ensureEngine()) {
        m_queue.clear();
        return;
    }
    m_busy = true;
    m_watchdog.start();
    m_engine->say(m_queue.dequeue());
}

void TtsSpeaker::onStateChanged()
{
    const auto state = m_engine->state();
    if (state == QTextToSpeech::Error)
        fail(m_engine->errorString());
    if (state == QTextToSpeech::Ready || state == QTextToSpeech::Error) {
        m_busy = false;
        m_watchdog.stop();
        if (state == QTextToSpeech::Error)
            m_queue.clear();
        sayNext();
    }
}

void TtsSpeaker::fail(const QString &reason)
{
    if (m_failureTold || m_quiet)
        return;
    m_failureTold = true;
    m_prompter.inform(tr("Spoken announcements are not available (%1). "
                         "The program goes on without a voice; arrivals still show on screen.")
                          .arg(reason.isEmpty() ? tr("the speech engine reported an error") : reason),
                      Prompter::Icon::Information);
}
