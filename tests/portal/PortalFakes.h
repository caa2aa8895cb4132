#pragma once

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
    QStringList texts;
    QList<Icon> icons;
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
