#pragma once

#include "PortalDesktop.h"
#include "Prompter.h"
#include "SocketList.h"
#include "SoundSetting.h"
#include "Speaker.h"
#include "StationIdStore.h"
#include "StationStore.h"
#include "TransferLogStore.h"

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
    PortalOutcome toggleMute() override
    {
        ++muteToggles;
        return muteFailure.isEmpty() ? PortalOutcome() : PortalOutcome::failure(muteFailure);
    }
    QStringList raised;
    bool deskRunning = false;
    int altTabs = 0;
    int muteToggles = 0;
    QString muteFailure;
};

/// A socket table given by the test, or one that cannot be read.
class FakeSocketList : public SocketList
{
public:
    PortalOutcome read(QStringList &out) override
    {
        ++reads;
        out = failure.isEmpty() ? lines : QStringList();
        return failure.isEmpty() ? PortalOutcome() : PortalOutcome::failure(failure);
    }
    QStringList lines;
    QString failure; ///< set: the table cannot be read, for this reason
    int reads = 0;
};

/// Records the stored sound switch; answers a failure when told to.
class FakeSoundSetting : public SoundSetting
{
public:
    PortalOutcome store(bool on) override
    {
        stored.append(on);
        return failure.isEmpty() ? PortalOutcome() : PortalOutcome::failure(failure);
    }
    QList<bool> stored;
    QString failure;
};

/// Keeps the station ID in memory.
class FakeStationIdStore : public StationIdStore
{
public:
    QString load() override { return id; }
    PortalOutcome store(const QString &newId) override
    {
        ++stores;
        if (!refusal.isEmpty())
            return PortalOutcome::failure(refusal);
        id = newId;
        return {};
    }
    QString id;
    int stores = 0;
    /// When set, every store fails with these words and keeps nothing.
    QString refusal;
};

/// Keeps the station list in memory; answers a failure when told to, and
/// then keeps what it had.
class FakeStationStore : public StationStore
{
public:
    QStringList load() override { return entries; }
    PortalOutcome append(const QString &entry) override
    {
        if (!failure.isEmpty())
            return PortalOutcome::failure(failure);
        entries.append(entry);
        return {};
    }
    PortalOutcome rewrite(const QStringList &all) override
    {
        if (!failure.isEmpty())
            return PortalOutcome::failure(failure);
        entries = all;
        return {};
    }
    QStringList entries;
    QString failure;
};

/// Keeps the transfer log in memory; answers a failure when told to, and
/// then keeps what it had.
class FakeTransferLog : public TransferLogStore
{
public:
    PortalOutcome append(const TransferRecord &record) override
    {
        if (!failure.isEmpty())
            return PortalOutcome::failure(failure);
        records.append(record);
        return {};
    }
    PortalOutcome readLast(int count, TransferLog::Tail *tail) override
    {
        *tail = {};
        if (!failure.isEmpty())
            return PortalOutcome::failure(failure);
        tail->records = records.mid(qMax<qsizetype>(0, records.size() - count));
        return {};
    }
    QList<TransferRecord> records;
    QString failure;
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
