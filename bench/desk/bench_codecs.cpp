// Field escaping on a 32 KiB text and Base64 over 100 MB, beside Qt's own
// Base64 and the system's `base64` run on the same bytes, for scale.
//
// Whole: one call on all 100 MB, so a fresh 133 MB buffer is faulted in each
// time. In pieces: 3 MiB at a time into reused memory, as the attachment
// composer and receiver do and as `base64` does; this compares the codecs.
// Times are CPU times (user and system), the tool's measured as a child's.
#include "compose/Base64.h"
#include "compose/FieldEscaping.h"
#include "compose/Windows1252.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr qsizetype textSize = 32 * 1024;
constexpr qsizetype bulkSize = 100 * 1024 * 1024;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(2026);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        bytes[i] = static_cast<char>(random.bounded(256));
    return bytes;
}

// A message of the code page's characters, as an operator might type it.
const QString &text()
{
    static const QString text = Windows1252::decode(randomBytes(textSize));
    return text;
}

const QByteArray &bulk()
{
    static const QByteArray bytes = randomBytes(bulkSize);
    return bytes;
}

const QByteArray &bulkBase64()
{
    static const QByteArray text = Base64::encode(bulk());
    return text;
}

void convertToASCII(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertToASCII(text()));
    state.SetBytesProcessed(state.iterations() * text().size());
    state.counters["chars"] = double(text().size());
}
BENCHMARK(convertToASCII)->Unit(benchmark::kMicrosecond);

void decodeFromASCII(benchmark::State &state)
{
    const QString codes = ConvertToASCII(text());
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeFromASCII(codes));
    // Throughput counts the characters of the decoded text.
    state.SetBytesProcessed(state.iterations() * text().size());
    state.counters["code_chars"] = double(codes.size());
}
BENCHMARK(decodeFromASCII)->Unit(benchmark::kMicrosecond);

void base64Encode(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64::encode(bulk()));
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(base64Encode)->Unit(benchmark::kMillisecond);

void base64Decode(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64::decode(bulkBase64()));
    // Throughput counts the decoded bytes, like the encoder's.
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(base64Decode)->Unit(benchmark::kMillisecond);

void base64DecodeWithLineBreaks(benchmark::State &state)
{
    QByteArray lines;
    lines.reserve(bulkBase64().size() / 76 * 77 + 80);
    for (qsizetype at = 0; at < bulkBase64().size(); at += 76)
        lines.append(QByteArrayView(bulkBase64()).sliced(at, std::min<qsizetype>(76, bulkBase64().size() - at))).append('\n');
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64::decode(lines));
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(base64DecodeWithLineBreaks)->Unit(benchmark::kMillisecond);

constexpr qsizetype piece = 3 * 1024 * 1024;

void base64EncodeInPieces(benchmark::State &state)
{
    for (auto _ : state) {
        for (qsizetype at = 0; at < bulk().size(); at += piece)
            benchmark::DoNotOptimize(Base64::encode(QByteArrayView(bulk()).sliced(at, std::min(piece, bulk().size() - at))));
    }
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(base64EncodeInPieces)->Unit(benchmark::kMillisecond);

void base64DecodeInPieces(benchmark::State &state)
{
    const QByteArray &text = bulkBase64();
    const qsizetype textPiece = piece / 3 * 4;
    QByteArray bytes;
    for (auto _ : state) {
        Base64::Decoder decoder;
        for (qsizetype at = 0; at < text.size(); at += textPiece) {
            bytes.resize(0);
            if (!decoder.feed(QByteArrayView(text).sliced(at, std::min(textPiece, text.size() - at)), bytes))
                state.SkipWithError("the text did not decode");
            benchmark::DoNotOptimize(bytes.data());
        }
        if (!decoder.finish())
            state.SkipWithError("the text did not end whole");
    }
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(base64DecodeInPieces)->Unit(benchmark::kMillisecond);

// The same bytes on disk, for the system's tool.
QString fileOf(const QByteArray &bytes)
{
    auto *file = new QTemporaryFile; // lives as long as the run
    if (!file->open() || file->write(bytes) != bytes.size() || !file->flush())
        return {};
    return file->fileName();
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `base64` with `arguments` reading `input`, its output thrown away; the
// time of each iteration is the tool's own CPU time.
void runSystemBase64(benchmark::State &state, const QStringList &arguments, const QString &input)
{
    if (input.isEmpty()) {
        state.SkipWithError("the input file cannot be written");
        return;
    }
    for (auto _ : state) {
        QProcess tool;
        tool.setStandardInputFile(input);
        tool.setStandardOutputFile(QProcess::nullDevice());
        const double before = childCpuSeconds();
        tool.start(QStringLiteral("base64"), arguments);
        if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
            state.SkipWithError("base64 did not run to a clean end");
            return;
        }
        state.SetIterationTime(childCpuSeconds() - before);
    }
    state.SetBytesProcessed(state.iterations() * bulk().size());
}

void systemBase64Encode(benchmark::State &state)
{
    static const QString input = fileOf(bulk());
    runSystemBase64(state, {QStringLiteral("-w0")}, input);
}
BENCHMARK(systemBase64Encode)->Unit(benchmark::kMillisecond)->UseManualTime();

void systemBase64EncodeLines(benchmark::State &state)
{
    static const QString input = fileOf(bulk());
    runSystemBase64(state, {}, input);
}
BENCHMARK(systemBase64EncodeLines)->Unit(benchmark::kMillisecond)->UseManualTime();

void systemBase64Decode(benchmark::State &state)
{
    static const QString input = fileOf(bulkBase64());
    runSystemBase64(state, {QStringLiteral("-d")}, input);
}
BENCHMARK(systemBase64Decode)->Unit(benchmark::kMillisecond)->UseManualTime();

void qtToBase64(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bulk().toBase64());
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(qtToBase64)->Unit(benchmark::kMillisecond);

void qtFromBase64(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QByteArray::fromBase64(bulkBase64()));
    state.SetBytesProcessed(state.iterations() * bulk().size());
}
BENCHMARK(qtFromBase64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
