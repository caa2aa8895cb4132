#include "FakePorts.h"
#include "platform/TtsSpeaker.h"

#include <QElapsedTimer>
#include <QTest>

// Runs against the real speech engine, whatever this machine offers: with a
// voice and a sound card the phrases are heard; without, the operator is
// told once. Either way nothing blocks for long.
class TestSpeaker : public QObject
{
    Q_OBJECT

private slots:
    void speaksWithoutBlockingAndComplainsAtMostOnce()
    {
        FakePrompter prompter;
        TtsSpeaker speaker(prompter);
        QElapsedTimer timer;
        timer.start();
        speaker.speak("Welcome");
        speaker.speak("Sound on");
        speaker.speak("Message has arrived");
        QVERIFY2(timer.elapsed() < 3000, "queuing phrases must not wait for them");
        QTest::qWait(1500);
        timer.restart();
        speaker.speakAndWait("Goodbye");
        QVERIFY2(timer.elapsed() < 6000, "the last words wait a few seconds at most");
        QVERIFY(prompter.boxes.size() <= 1);
        if (!prompter.boxes.isEmpty())
            QVERIFY(prompter.boxes.first().text.startsWith("Spoken announcements are not available"));
    }
};

QTEST_MAIN(TestSpeaker)
#include "tst_speaker.moc"
