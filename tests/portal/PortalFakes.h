#pragma once

#include "PortalDesktop.h"
#include "Prompter.h"
#include "Speaker.h"

#include <QApplication>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

/// Records the phrases instead of speaking them.
class FakeSpeaker : public Speaker
{
public:
    void say(const QString &phrase) override { phrases.append(phrase); }
    QStringList phrases;
};

/// Records the message boxes instead of showing them.
class FakePrompter : public Prompter
{
public:
    void inform(const QString &text, Icon icon) override
    {
        texts.append(text);
        icons.append(icon);
    }
    bool ask(const QString &question) override
    {
        questions.append(question);
        return answer;
    }
    QStringList texts;
    QList<Icon> icons;
    QStringList questions;
    bool answer = false; ///< what the operator answers to every question
};

/// Records what the portal asks of the desktop.
class FakeDesktop : public PortalDesktop
{
public:
    bool raiseDesk(const QString &title) override
    {
        raised.append(title);
        return deskRunning;
    }
    void pressAltTab() override { ++altTabs; }
    QString toggleMute() override
    {
        ++muteToggles;
        return muteFailure;
    }
    QStringList raised;
    bool deskRunning = false;
    int altTabs = 0;
    int muteToggles = 0;
    QString muteFailure;
};

/// A loopback port nobody listens on right now.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// Runs a test object with the per-user settings in a folder of its own,
/// so the operator's real settings stay untouched.
#define PORTAL_TEST_MAIN(TestObject)                                                                                   \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir config;                                                                                          \
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());                                                       \
        QApplication app(argc, argv);                                                                                  \
        TestObject test;                                                                                               \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
