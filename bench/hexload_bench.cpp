// HEX load throughput: a 4 MiB image as Intel HEX (16-byte records, an 04 record every 64 KiB)
// loaded into a slot, side by side with objcopy and srec_cat converting the same file to binary.
// Figures are megabytes (10^6) of HEX text per second, wall clock.
#include "engine/download.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

QTemporaryDir *workDir = nullptr;
QString hexPath;
qint64 hexSize = 0;

QByteArray makeHexText()
{
    static const char digits[] = "0123456789ABCDEF";
    std::mt19937 random(7);
    QByteArray text;
    text.reserve(12 * 1024 * 1024);
    auto putByte = [&](unsigned b, unsigned &sum) {
        text += digits[b >> 4];
        text += digits[b & 15];
        sum += b;
    };
    for (uint32_t address = 0; address < Download::imageBufferSize; address += 16) {
        unsigned sum = 0;
        if ((address & 0xFFFF) == 0) {
            text += ':';
            for (unsigned b : {2u, 0u, 0u, 4u, address >> 24, (address >> 16) & 0xFF})
                putByte(b, sum);
            putByte((0x100 - (sum & 0xFF)) & 0xFF, sum);
            text += '\n';
            sum = 0;
        }
        text += ':';
        for (unsigned b : {16u, (address >> 8) & 0xFF, address & 0xFF, 0u})
            putByte(b, sum);
        for (int k = 0; k < 16; ++k)
            putByte(random() & 0xFF, sum);
        putByte((0x100 - (sum & 0xFF)) & 0xFF, sum);
        text += '\n';
    }
    text += ":00000001FF\n";
    return text;
}

void setHexRate(benchmark::State &state)
{
    state.counters["hex_text"] =
        benchmark::Counter(double(hexSize), benchmark::Counter::kIsIterationInvariantRate,
                           benchmark::Counter::OneK::kIs1000);
}

// Runs a converter directly (no shell) and waits for it; false when it cannot run or fails.
bool runTool(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_LoadImageFileHex(benchmark::State &state)
{
    std::vector<uint8_t> slot(Download::imageBufferSize);
    Download download;
    download.imageData[0] = slot.data();
    for (auto _ : state) {
        if (download.loadImageFile(hexPath, 0) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(slot.data());
    }
    setHexRate(state);
}

void runConverter(benchmark::State &state, const char *tool, std::vector<std::string> args)
{
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
        state.SkipWithError((std::string(tool) + " not installed").c_str());
        return;
    }
    args.insert(args.begin(), tool);
    for (auto _ : state) {
        if (!runTool(args)) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    setHexRate(state);
}

void BM_ObjcopyIhexToBinary(benchmark::State &state)
{
    const std::string out = workDir->filePath("objcopy.bin").toStdString();
    runConverter(state, "objcopy", {"-I", "ihex", "-O", "binary", hexPath.toStdString(), out});
}

void BM_SrecCatIntelToBinary(benchmark::State &state)
{
    const std::string out = workDir->filePath("srec_cat.bin").toStdString();
    runConverter(state, "srec_cat", {hexPath.toStdString(), "-Intel", "-o", out, "-Binary"});
}

BENCHMARK(BM_LoadImageFileHex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ObjcopyIhexToBinary)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SrecCatIntelToBinary)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QTemporaryDir dir;
    workDir = &dir;
    hexPath = dir.filePath("image4m.hex");
    QFile file(hexPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(makeHexText()) < 0)
        return 1;
    file.close();
    hexSize = file.size();
    std::printf("HEX file: %lld bytes of text for a %u-byte image\n", hexSize,
                Download::imageBufferSize);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
