#include "platform/LinuxProcesses.h"
#include "TestWaits.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestProcesses : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A program of our own, under a name no other process has.
    QString makeProgram(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QFile::copy(QStandardPaths::findExecutable("sleep"), path);
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }

private slots:
    void findsARunningProgramWhateverTheLetterCase()
    {
        const QString path = makeProgram("TavrixProbeTnc");
        QProcess probe;
        probe.start(path, {"30"});
        QVERIFY(probe.waitForStarted());
        LinuxProcesses processes;
        TRY_VERIFY(processes.isRunning("tavrixprobetnc"));
        QVERIFY(processes.isRunning("TAVRIXPROBETNC"));
        QVERIFY(!processes.isRunning("TavrixProbeTn"));
        QVERIFY(!processes.isRunning("tavrix-not-running-anywhere"));
        QVERIFY(!processes.isRunning(""));
        probe.kill();
        probe.waitForFinished();
        TRY_VERIFY(!processes.isRunning("tavrixprobetnc"));
    }

    void findsARunningScriptByItsPath_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("name");
        QTest::addRow("shell") << "#!/bin/sh" << "TavrixProbeModem.sh";
        QTest::addRow("interpreter with an option") << "#!/bin/sh -e" << "TavrixProbeDirewolf";
        QTest::addRow("through env") << "#!/usr/bin/env sh" << "TavrixProbeNpr.py";
    }
    void findsARunningScriptByItsPath()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, name);
        const QString path = m_dir.filePath(name);
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        // The interpreter stays the running process for as long as the script loops.
        script.write((interpreter + "\nwhile :; do sleep 1; done\n").toUtf8());
        script.close();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);

        LinuxProcesses processes;
        QVERIFY(!processes.isRunning(name));
        QProcess probe;
        probe.start(path);
        QVERIFY(probe.waitForStarted());
        TRY_VERIFY(processes.isRunning(name));
        QVERIFY(processes.isRunning(name.toUpper()));
        QVERIFY(!processes.isRunning(name.chopped(1)));
        probe.kill();
        probe.waitForFinished();
        TRY_VERIFY(!processes.isRunning(name));
    }

    void aNameLaterInTheArgumentsIsNoRunningProgram()
    {
        // Only the program an interpreter runs counts, not every word it is given.
        QProcess probe;
        probe.start("/bin/sh", {"-c", "while :; do sleep 1; done", "TavrixProbeSplitter.sh"});
        QVERIFY(probe.waitForStarted());
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(probe.processId()));
        const auto arguments = [&] {
            cmdline.open(QIODevice::ReadOnly);
            const QByteArray read = cmdline.readAll();
            cmdline.close();
            return read;
        };
        TRY_VERIFY(arguments().contains("TavrixProbeSplitter.sh"));
        LinuxProcesses processes;
        QVERIFY(!processes.isRunning("TavrixProbeSplitter.sh"));
        probe.kill();
        probe.waitForFinished();
    }

    void startsAProgramByPath()
    {
        const QString path = makeProgram("TavrixProbeModem");
        LinuxProcesses processes;
        // The started program lives on after the call; `sleep` with no
        // argument ends at once, so nothing lingers.
        const Result<qint64> started = processes.start(path);
        QVERIFY2(started, qPrintable(started.error()));
        QVERIFY(*started > 0);
        QVERIFY(*started != QCoreApplication::applicationPid());
        const Result<qint64> missing = processes.start(m_dir.filePath("missing"));
        QVERIFY(!missing);
        QVERIFY(missing.error().contains("missing"));
    }

    void startAnswersTheStartedProcesssId()
    {
        // The script writes its own process id, which must be the one answered.
        const QString record = m_dir.filePath("started.pid");
        const QString path = m_dir.filePath("TavrixProbeNpr.sh");
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho $$ > '%1.part' && mv '%1.part' '%1'\n").arg(record).toUtf8());
        script.close();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);

        LinuxProcesses processes;
        const Result<qint64> started = processes.start(path);
        QVERIFY2(started, qPrintable(started.error()));
        TRY_VERIFY(QFile::exists(record));
        QFile written(record);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().trimmed().toLongLong(), *started);
    }

    void aProgramThatCannotBeStartedSaysWhy()
    {
        // Executable by its mode, but no format the system can run.
        const QString path = m_dir.filePath("TavrixProbeBroken");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(64, '\x01'));
        file.close();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        LinuxProcesses processes;
        const Result<qint64> started = processes.start(path);
        QVERIFY(!started);
        QVERIFY2(started.error().contains(path), qPrintable(started.error()));
    }

    void windowsProgramsNeedWine()
    {
        if (!QStandardPaths::findExecutable("wine").isEmpty())
            QSKIP("Wine is installed here");
        const QString exe = m_dir.filePath("WinTNC.exe");
        QFile file(exe);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("MZ");
        file.close();
        LinuxProcesses processes;
        const Result<qint64> started = processes.start(exe);
        QVERIFY(!started);
        QVERIFY(started.error().contains("Wine"));
    }
};

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
