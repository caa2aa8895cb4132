// One tick of the receive-folder monitor over a folder of 100, 1,000 and
// 10,000 files, beside a bare listing of the same folder: the difference is
// what comparing the name lists costs.
#include "receive/FileMonitors.h"

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

} // namespace

BENCHMARK_MAIN();
