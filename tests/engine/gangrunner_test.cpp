// One job on four virtual probes at once: exact images, per-probe rolling codes, one probe's
// failure confined to it, and a cancel that writes nothing more.
#include "gangrunner.h"
#include "virtualprobe/virtualprobe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using vprobe::VirtualProbe;

namespace {

constexpr int probes = 4;
constexpr uint32_t rollingAddress = 0x8000;
const uint32_t imageAddress[2] = {0x0000, 0x4000};
const uint32_t imageLength[2] = {3000, 5000};

class Gang : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VirtualProbe::setCount(probes);
        resetProbes();
        for (int k = 0; k < probes; ++k)
            paths.push_back(QByteArray::fromStdString(VirtualProbe::probe(k).path()));
        chip.model = 2;
        job.chip = &chip;
        job.eraseMode = 0;
        job.programEnabled = 1;
        job.rollingCodeAddress = rollingAddress;
        job.rollingCodeStep = 1;
        for (int i = 0; i < 2; ++i) {
            images[i].resize(Download::imageBufferSize);
            for (uint32_t b = 0; b < imageLength[i]; ++b)
                images[i][b] = uint8_t(b * 13 + i * 101 + (b >> 7));
            job.imageData[i] = images[i].data();
            job.imageLength[i] = imageLength[i];
            job.imageAddress[i] = imageAddress[i];
        }
        job.fileCount = 2;
    }
    void TearDown() override
    {
        for (int k = 0; k < probes; ++k)
            VirtualProbe::probe(k).reset();
        VirtualProbe::setCount(1);
    }

    // Blank probes whose chips tell apart by their device ids.
    static void resetProbes()
    {
        for (int k = 0; k < probes; ++k) {
            VirtualProbe::probe(k).reset();
            vprobe::ChipState chip = VirtualProbe::probe(k).chip();
            chip.deviceId = 0x00484B40 + uint32_t(k);
            VirtualProbe::probe(k).setChip(chip);
        }
    }

    bool holdsImages(int k) const
    {
        for (int i = 0; i < 2; ++i) {
            const std::vector<uint8_t> want(images[i].begin(), images[i].begin() + imageLength[i]);
            if (VirtualProbe::probe(k).readFlash(imageAddress[i], imageLength[i]) != want)
                return false;
        }
        return true;
    }

    // "status code deviceId rolling-code-bytes images"
    std::string summary(int k, const GangResult &r) const
    {
        const std::vector<uint8_t> rc = VirtualProbe::probe(k).readFlash(rollingAddress, 4);
        char line[120];
        std::snprintf(line, sizeof line, "%s %d %08X %02X%02X%02X%02X %s", gangStatusName(r.status),
                      r.code, r.deviceId, rc[0], rc[1], rc[2], rc[3],
                      holdsImages(k) ? "images" : "no-images");
        return line;
    }

    std::vector<std::string> runAll()
    {
        GangRunner runner(job, paths);
        runner.setPrepare([](int index, Download &d) {
            d.rollingCodeValue = 0x1000 + uint32_t(index);
            return true;
        });
        runner.setProgress([this](const GangProgress &p) {
            std::string &line = phases[p.probe];
            const char *names = "CEPF";
            const std::string step =
                std::string(1, names[int(p.phase)]) + (p.image >= 0 ? std::to_string(p.image) : "");
            if (line.size() < step.size()
                || line.compare(line.size() - step.size(), step.size(), step) != 0)
                line += (line.empty() ? "" : " ") + step;
        });
        const std::vector<GangResult> results = runner.run();
        std::vector<std::string> lines;
        for (int k = 0; k < probes; ++k) {
            EXPECT_EQ(results[size_t(k)].path, paths[size_t(k)]);
            lines.push_back(summary(k, results[size_t(k)]));
        }
        return lines;
    }

    ChipRecord chip;
    Download job;
    std::vector<uint8_t> images[2];
    std::vector<QByteArray> paths;
    std::map<int, std::string> phases;
};

TEST_F(Gang, ProbesFailAlone)
{
    const std::string blank = "FFFFFFFF no-images";
    const struct
    {
        int probe; // the probe spoilt, -1 none
        void (*spoil)(VirtualProbe &);
        std::vector<std::string> lines;
    } cases[] = {
        {-1,
         nullptr,
         {"passed 0 00484B40 00100000 images", "passed 0 00484B41 01100000 images",
          "passed 0 00484B42 02100000 images", "passed 0 00484B43 03100000 images"}},
        // Unplugged in the middle of the first image: 5 reports of chip, settings and erase, the
        // image start, then 20 data blocks.
        {2,
         [](VirtualProbe &p) { p.unplugAfterReports(26); },
         {"passed 0 00484B40 00100000 images", "passed 0 00484B41 01100000 images",
          "failed 8 00484B42 " + blank, "passed 0 00484B43 03100000 images"}},
        {1,
         [](VirtualProbe &p) {
             vprobe::ChipState c = p.chip();
             c.model = 5;
             p.setChip(c);
         },
         {"passed 0 00484B40 00100000 images", "failed 3 00484B41 " + blank,
          "passed 0 00484B42 02100000 images", "passed 0 00484B43 03100000 images"}},
    };
    for (const auto &c : cases) {
        resetProbes();
        if (c.spoil)
            c.spoil(VirtualProbe::probe(c.probe));
        phases.clear();
        EXPECT_EQ(runAll(), c.lines) << c.probe;
        EXPECT_EQ(phases[0], "C E P0 P1 F");
    }
    EXPECT_EQ(phases[1], "C");
}

TEST_F(Gang, RepeatedPathOrRefusedPreparationDoesNotRun)
{
    GangRunner runner(job, {paths[0], paths[1], paths[0]});
    runner.setPrepare([](int index, Download &) { return index != 1; });
    const std::vector<GangResult> results = runner.run();
    const int32_t want[3][2] = {{1, 0}, {1, -1}, {-1, -1}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(results[size_t(k)].connectCode, want[k][0]) << k;
        EXPECT_EQ(results[size_t(k)].code, want[k][1]) << k;
        EXPECT_EQ(results[size_t(k)].status, k ? GangStatus::Failed : GangStatus::Passed) << k;
    }
    EXPECT_EQ(VirtualProbe::probe(1).commandsWritten(), std::vector<uint8_t>({0x00, 0x00}));
    const std::vector<uint8_t> sent = VirtualProbe::probe(0).commandsWritten();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x9F), 1);
}

TEST_F(Gang, CancelWritesNothingMore)
{
    GangRunner runner(job, paths);
    std::vector<size_t> written(probes, 0);
    runner.setProgress([&](const GangProgress &p) {
        // On probe 0's own thread, halfway through its first image.
        if (p.probe != 0 || p.phase != GangProgress::Phase::Program || p.percent < 50
            || runner.cancelled())
            return;
        runner.cancel();
        for (int k = 0; k < probes; ++k)
            written[size_t(k)] = VirtualProbe::probe(k).commandsWritten().size();
    });
    const std::vector<GangResult> results = runner.run();
    ASSERT_TRUE(runner.cancelled());
    EXPECT_EQ(VirtualProbe::probe(0).commandsWritten().size(), written[0]);
    EXPECT_EQ(results[0].status, GangStatus::Interrupted);
    EXPECT_EQ(results[0].code, 8);
    for (int k = 0; k < probes; ++k) {
        const std::vector<uint8_t> sent = VirtualProbe::probe(k).commandsWritten();
        // Another probe may have been past its check when the cancel came: one report at most.
        EXPECT_LE(sent.size(), written[size_t(k)] + 1) << k;
        if (results[size_t(k)].status != GangStatus::Passed) {
            EXPECT_EQ(results[size_t(k)].status, GangStatus::Interrupted) << k;
            EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x9F), 0) << k;
        }
    }

    // Cancelled before it starts: nothing is opened.
    VirtualProbe::probe(3).clearTrace();
    for (const GangResult &r : runner.run()) {
        EXPECT_EQ(r.status, GangStatus::Interrupted);
        EXPECT_EQ(r.connectCode, 0);
    }
    EXPECT_TRUE(VirtualProbe::probe(3).trace().empty());
}

} // namespace
