// Field escaping on a 32 KiB text and Base64 over 100 MB, beside Qt's own
// Base64 for scale.
#include "compose/Base64.h"
#include "compose/FieldEscaping.h"
#include "compose/Windows1252.h"

#include <QRandomGenerator>
#include <benchmark/benchmark.h>

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
