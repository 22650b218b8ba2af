// Reading a large pack: a generated description of 2,000 devices (families, sub-families and
// variants, each level adding memories and algorithms) in an unpacked folder, read and resolved
// the way `quorvel-cli targets --pack` does. Goal: under 200 ms. The file is read once, so the
// XML parse and the inheritance bound the figure.
#include "pack/pdscreader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

constexpr int kDevices = 2000;
constexpr double kGoalMs = 200.0;

// Families of 5 sub-families x 10 devices, every other device with two variants (75 listed).
QByteArray generatedDescription()
{
    QByteArray x = "<?xml version=\"1.0\"?>\n<package schemaVersion=\"1.7.7\"><vendor>Bench"
                   "</vendor><name>Large</name><releases><release version=\"1.0.0\"/>"
                   "</releases><devices>\n";
    int listed = 0;
    for (int f = 0; listed < kDevices; ++f) {
        x += QStringLiteral("<family Dfamily=\"BF%1\" Dvendor=\"Bench:1\"><processor "
                            "Dcore=\"Cortex-M4\" Dfpu=\"SP_FPU\" Dclock=\"64000000\"/>"
                            "<description>Family %1 of the generated pack</description>"
                            "<memory name=\"SRAM\" access=\"rwx\" start=\"0x20000000\" "
                            "size=\"0x8000\" default=\"1\"/>\n")
                 .arg(f)
                 .toUtf8();
        for (int s = 0; s < 5 && listed < kDevices; ++s) {
            x += QStringLiteral("<subFamily DsubFamily=\"BF%1S%2\"><algorithm name=\"Flash/"
                                "BF%1_%2.FLM\" start=\"0x08000000\" size=\"0x40000\" "
                                "RAMstart=\"0x20000000\" RAMsize=\"0x2000\" default=\"1\"/>\n")
                     .arg(f)
                     .arg(s)
                     .toUtf8();
            for (int d = 0; d < 10 && listed < kDevices; ++d) {
                const QString name = QStringLiteral("BF%1S%2D%3").arg(f).arg(s).arg(d);
                x += QStringLiteral("<device Dname=\"%1\"><memory name=\"FLASH\" access=\"rx\" "
                                    "start=\"0x08000000\" size=\"0x%2\" default=\"1\" "
                                    "startup=\"1\"/><feature type=\"Timer\" n=\"4\"/>")
                         .arg(name)
                         .arg(0x10000 * (d + 1), 0, 16)
                         .toUtf8();
                if (d % 2 && listed + 2 <= kDevices) {
                    x += QStringLiteral("<variant Dvariant=\"%1T\"/><variant Dvariant=\"%1U\">"
                                        "<memory name=\"EXT\" access=\"rwx\" start=\"0x60000000\""
                                        " size=\"0x100000\"/></variant>")
                             .arg(name)
                             .toUtf8();
                    listed += 2;
                } else {
                    ++listed;
                }
                x += "</device>\n";
            }
            x += "</subFamily>\n";
        }
        x += "</family>\n";
    }
    return x + "</devices></package>\n";
}

void ReadGeneratedPack(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile pdsc(dir.filePath("Bench.Large.pdsc"));
    const QByteArray xml = generatedDescription();
    if (!pdsc.open(QIODevice::WriteOnly) || pdsc.write(xml) != xml.size()) {
        state.SkipWithError("cannot write the generated pack");
        return;
    }
    pdsc.close();
    // The algorithms it names exist, as the reader checks.
    QDir(dir.path()).mkpath("Flash");
    for (int f = 0; f < 30; ++f) {
        for (int s = 0; s < 5; ++s) {
            QFile flm(dir.filePath(QStringLiteral("Flash/BF%1_%2.FLM").arg(f).arg(s)));
            flm.open(QIODevice::WriteOnly);
        }
    }
    int devices = 0;
    for (auto _ : state) {
        pack::PackContents contents;
        QString error;
        if (!pack::readPack(dir.path(), {}, contents, error)) {
            state.SkipWithError(error.toLocal8Bit().constData());
            return;
        }
        devices = contents.devices.size();
        benchmark::DoNotOptimize(contents);
    }
    state.counters["devices"] = devices;
    state.counters["description_KiB"] = xml.size() / 1024.0;
    state.counters["goal_ms"] = kGoalMs;
    if (devices != kDevices)
        state.SkipWithError("the generated pack lists the wrong number of devices");
}

} // namespace

BENCHMARK(ReadGeneratedPack)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("Goal: a pack of %d devices read in under %.0f ms (the XML parse and the "
                "inheritance bound it; the file is read once).\n",
                kDevices, kGoalMs);
    benchmark::Shutdown();
    return 0;
}
