// One tick of the receive-folder monitor over a folder of 100, 1,000 and
// 10,000 files, beside a bare listing of the same folder: the difference is
// what comparing the name lists costs.
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "platform/ProcessWatch.h"
#include "platform/Prompter.h"
#include "platform/Speaker.h"
#include "receive/FileMonitors.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

// One folder per size, filled once and kept for the whole run.
const QString &folderOf(int files)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    auto &folder = folders[files];
    if (!folder) {
        folder = std::make_unique<QTemporaryDir>();
        for (int i = 0; i < files; ++i) {
            QFile file(folder->filePath(QStringLiteral("MAIL - From- DL%1--14-05-09--12-07-26.dat").arg(i)));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot fill %s", qPrintable(folder->path()));
            file.write("65,66,67,68\r\n");
        }
    }
    static QString path;
    path = folder->path();
    return path;
}

void bareListing(benchmark::State &state)
{
    const QString folder = folderOf(int(state.range(0)));
    for (auto _ : state) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System);
        int count = 0;
        while (files.hasNext()) {
            files.next();
            benchmark::DoNotOptimize(files.fileName());
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(bareListing)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void monitorTick(benchmark::State &state)
{
    FileMonitors monitor;
    monitor.folderpath = folderOf(int(state.range(0)));
    int announced = 0;
    QObject::connect(&monitor, &FileMonitors::FileReceived, [&announced] { ++announced; });
    monitor.scan(); // the first tick sees every name as new; the rest see none
    for (auto _ : state)
        monitor.scan();
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["announced"] = announced;
}
BENCHMARK(monitorTick)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The unattended station's work beside the monitor: the alert's tick (every
// second, on every tick of the program), and finding what arrived with its
// size, which runs only on a tick that saw new names: the listing on a
// worker thread, the comparison, sizes, log and count on the main thread.
struct QuietPorts : Clock, Speaker, Prompter, Notifier, ProcessWatch {
    QDateTime now() const override { return time; }
    void speak(const QString &) override {}
    void speakAndWait(const QString &) override {}
    void inform(const QString &, Icon, const QString &) override {}
    bool ask(const QString &, const QString &, Icon) override { return true; }
    void notify(const QString &, const QString &) override {}
    void showUnread(int) override {}
    Result<Way> watch(qint64) override { return Way::Event; }
    void unwatch(qint64) override {}
    std::optional<qint64> findRunning(const QString &) override { return std::nullopt; }
    QDateTime time = QDateTime::currentDateTime();
};

void alertTick(benchmark::State &state)
{
    QTemporaryDir settings;
    SettingFiles files(settings.path(), settings.path());
    QuietPorts ports;
    UnattendedStation station(files, ports, ports, ports, ports, ports);
    station.alert().setIntervalMinutes(1);
    QStringList names;
    for (int i = 0; i < int(state.range(0)); ++i)
        names << QStringLiteral("MAIL - %1.dat").arg(i);
    station.alert().arrived(names);
    for (auto _ : state) {
        ports.time = ports.time.addSecs(1);
        station.alert().tick();
    }
}
BENCHMARK(alertTick)->Arg(10000)->Unit(benchmark::kMicrosecond);

void arrivalTick(benchmark::State &state)
{
    QTemporaryDir settings;
    SettingFiles files(settings.path(), settings.path());
    QuietPorts ports;
    UnattendedStation station(files, ports, ports, ports, ports, ports);
    const QString folder = folderOf(int(state.range(0)));
    station.baseline(folder);
    const QString arrival = folder + QStringLiteral("/MAIL - new.dat");
    for (auto _ : state) {
        state.PauseTiming();
        {
            QFile file(arrival);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(arrival));
            file.write("65,66,67,68\r\n");
        }
        state.ResumeTiming();
        // One new name: sized, logged, counted, notified; listed on a worker
        // thread in the program, so only its main-thread share is timed.
        state.PauseTiming();
        const auto present = UnattendedStation::namesIn(folder);
        state.ResumeTiming();
        benchmark::DoNotOptimize(station.takeArrivalsFrom(folder, present));
        state.PauseTiming();
        QFile::remove(arrival);
        station.messageDeleted(QStringLiteral("MAIL - new.dat"), QString());
        state.ResumeTiming();
    }
    state.counters["unread"] = station.alert().unread();
}
BENCHMARK(arrivalTick)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
