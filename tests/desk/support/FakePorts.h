#pragma once

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/FilePicker.h"
#include "platform/Processes.h"
#include "platform/Prompter.h"
#include "platform/Speaker.h"

#include <QQueue>
#include <QSet>
#include <QStringList>

/// Records every message box; answers questions from a queue (Yes when empty).
class FakePrompter : public Prompter
{
public:
    struct Box {
        QString text;
        Icon icon;
        QString title;
        bool question;
    };
    void inform(const QString &text, Icon icon, const QString &title) override;
    bool ask(const QString &text, const QString &title, Icon icon) override;

    QStringList texts() const;
    QString lastText() const { return boxes.isEmpty() ? QString() : boxes.last().text; }

    QList<Box> boxes;
    QQueue<bool> answers;
};

class FakeSpeaker : public Speaker
{
public:
    void speak(const QString &phrase) override { spoken << phrase; }
    void speakAndWait(const QString &phrase) override { spoken << phrase; }
    QStringList spoken;
};

class FakeClock : public Clock
{
public:
    QDateTime now() const override { return time; }
    QDateTime time{QDate(2026, 12, 7), QTime(14, 5, 9)};
};

class FakeDesktop : public Desktop
{
public:
    bool raiseWindow(const QString &title) override;
    Outcome pressStartMenuKey() override;
    Outcome pressAltTab() override;
    Outcome toggleMute() override
    {
        ++muteToggles;
        return muteFailure.isEmpty() ? Outcome() : Outcome::failure(muteFailure);
    }
    Outcome openFileManager() override;

    QSet<QString> windows;   ///< titles of the windows that exist
    QStringList raised;      ///< titles raised, in order
    QStringList keys;        ///< "start menu", "alt+tab"
    int muteToggles = 0;
    QString muteFailure;     ///< when set, the mute cannot be changed, for this reason
    int fileManagerOpened = 0;
    QString keyFailure;      ///< when set, key presses fail with this text
};

class FakeProcesses : public Processes
{
public:
    bool isRunning(const QString &fileName) override;
    Result<qint64> start(const QString &path) override;
    Outcome open(const QString &file, const QString &workingDirectory) override;

    QStringList running;     ///< program file names that run
    QStringList started;     ///< paths started
    QStringList opened;      ///< "dir|file" opened
    bool failStarts = false;
    qint64 nextPid = 4242;   ///< the id the next start answers; counts up
};

class FakeFilePicker : public FilePicker
{
public:
    QString openFile(const QString &title, const QString &filters) override;
    QString saveFile(const QString &title, const QString &filters, const QString &suggestedName) override;

    QQueue<QString> openAnswers;
    QQueue<QString> saveAnswers;
    QStringList titles;
};
