// What recording costs a programming run: its row at start, a ledger value and the completed row,
// each a durable transaction on a local-disk SQLite file; and the digest of a 128 KiB job.
#include "download.h"
#include "recorddb.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <vector>

namespace {

// The folder of the build (on the local disk), not a RAM-backed /tmp.
QString localDiskDir()
{
    return QCoreApplication::applicationDirPath();
}

RunRecord sampleRun()
{
    RunRecord r;
    r.toolVersion = "1.97";
    r.probeSerial = "00000195";
    r.jobDigest = QByteArray(64, 'a');
    r.files = {{"app.bin", 0, 128 * 1024, 0x12345678}};
    r.options = R"({"erase":0,"program":1,"verify":1})";
    return r;
}

void recordRun(benchmark::State &state, bool ledger)
{
    QTemporaryDir dir(localDiskDir() + "/record-bench-XXXXXX");
    RecordDb db;
    if (!db.open(dir.filePath("record.sqlite"))) {
        state.SkipWithError(qPrintable(db.lastError()));
        return;
    }
    const SerialSeries series{0x0800F000, 1, 1};
    for (auto _ : state) {
        const qint64 id = db.beginRun(sampleRun());
        quint32 value = 0;
        if (id < 0 || (ledger && !db.allocateSerial(series, id, &value))
            || !db.finishRun(id, true, 0, "ok")) {
            state.SkipWithError(qPrintable(db.lastError()));
            break;
        }
    }
}

void BeginAllocateFinish(benchmark::State &state)
{
    recordRun(state, true);
}

void BeginFinish(benchmark::State &state)
{
    recordRun(state, false);
}

void DigestOf128KiBJob(benchmark::State &state)
{
    std::vector<uint8_t> image(128 * 1024, 0x5A);
    ChipRecord chip{2, 0};
    Download d;
    d.chip = &chip;
    d.imageData[0] = image.data();
    d.imageLength[0] = uint32_t(image.size());
    d.fileCount = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(runRecordFrom(d, "probe", "1.95"));
}

} // namespace

BENCHMARK(BeginAllocateFinish)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BeginFinish)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DigestOf128KiBJob)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
