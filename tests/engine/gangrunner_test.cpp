// One job on four virtual probes at once: exact images, per-probe rolling codes, one probe's
// failure confined to it, repeated paths, and a cancel that writes nothing more.
#include "gangrunner.h"
#include "virtualprobe/virtualprobe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using vprobe::VirtualProbe;

namespace {

constexpr int probes = 4;
const uint32_t imageAddress[2] = {0x0000, 0x4000};
const uint32_t imageLength[2] = {3000, 5000};

class Gang : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VirtualProbe::setCount(probes);
        for (int k = 0; k < probes; ++k)
            paths.push_back(QByteArray::fromStdString(VirtualProbe::probe(k).path()));
        chip.model = 2;
        job.chip = &chip;
        job.programEnabled = 1;
        job.rollingCodeAddress = 0x8000;
        job.rollingCodeStep = 1;
        job.fileCount = 2;
        for (int i = 0; i < 2; ++i) {
            image[i].assign(imageLength[i], 0);
            for (uint32_t b = 0; b < imageLength[i]; ++b)
                image[i][b] = uint8_t(b * 13 + i * 101 + (b >> 7));
            image[i].resize(Download::imageBufferSize, 0xFF);
            job.imageData[i] = image[i].data();
            job.imageLength[i] = imageLength[i];
            job.imageAddress[i] = imageAddress[i];
        }
        resetProbes();
    }
    void TearDown() override
    {
        resetProbes();
        VirtualProbe::setCount(1);
    }

    // Blank probes whose chips tell apart by their device ids.
    static void resetProbes()
    {
        for (int k = 0; k < probes; ++k) {
            VirtualProbe::probe(k).reset();
            vprobe::ChipState c = VirtualProbe::probe(k).chip();
            c.deviceId = 0x00484B40 + uint32_t(k);
            VirtualProbe::probe(k).setChip(c);
        }
    }

    // "status code device-id rolling-code-bytes images" of probe k.
    std::string summary(int k, const GangResult &r) const
    {
        const std::vector<uint8_t> rc = VirtualProbe::probe(k).readFlash(0x8000, 4);
        bool images = true;
        for (int i = 0; i < 2; ++i)
            images = images
                && VirtualProbe::probe(k).readFlash(imageAddress[i], imageLength[i])
                    == std::vector<uint8_t>(image[i].begin(), image[i].begin() + imageLength[i]);
        char line[80];
        std::snprintf(line, sizeof line, "%s %d %08X %02X%02X%02X%02X %s", gangStatusName(r.status),
                      r.code, r.deviceId, rc[0], rc[1], rc[2], rc[3], images ? "images" : "none");
        return line;
    }

    ChipRecord chip;
    Download job;
    std::vector<uint8_t> image[2];
    std::vector<QByteArray> paths;
};

TEST_F(Gang, ProbesFailAlone)
{
    const struct
    {
        int probe; // the probe spoilt, -1 none
        int model; // its chip's model
        int unplugAfter; // its reports until it vanishes
        std::string line;
    } cases[] = {
        {-1, 2, 0, ""},
        // Two DAP_Info, chip detect and check, settings, erase, image start, then 19 data blocks.
        {2, 2, 26, "failed 8 00484B42 FFFFFFFF none"},
        {1, 5, 0, "failed 3 00484B41 FFFFFFFF none"},
    };
    for (const auto &c : cases) {
        resetProbes();
        if (c.probe >= 0) {
            vprobe::ChipState spoilt = VirtualProbe::probe(c.probe).chip();
            spoilt.model = c.model;
            VirtualProbe::probe(c.probe).setChip(spoilt);
            VirtualProbe::probe(c.probe).unplugAfterReports(c.unplugAfter);
        }
        GangRunner runner(job, paths);
        runner.setPrepare([](int index, Download &d) {
            d.rollingCodeValue = 0x1000 + uint32_t(index);
            return true;
        });
        std::string steps; // probe 0's phases, each once
        runner.setProgress([&steps](const GangProgress &p) {
            const std::string step = std::string(1, "CEPF"[int(p.phase)])
                + (p.image >= 0 ? std::to_string(p.image) : "") + " ";
            if (p.probe == 0 && steps.rfind(step) != steps.size() - step.size())
                steps += step;
        });
        const std::vector<GangResult> results = runner.run();
        for (int k = 0; k < probes; ++k) {
            EXPECT_EQ(results[size_t(k)].path, paths[size_t(k)]);
            char ok[40]; // each probe's own device id and rolling code
            std::snprintf(ok, sizeof ok, "passed 0 00484B4%d 0%d100000 images", k, k);
            EXPECT_EQ(summary(k, results[size_t(k)]), k == c.probe ? c.line : ok) << k;
        }
        EXPECT_EQ(steps, "C E P0 P1 F ");
    }
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
        EXPECT_EQ(results[size_t(k)].heldBack, k == 1) << k; // only the refused preparation
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
    EXPECT_EQ(VirtualProbe::probe(0).commandsWritten().size(), written[0]);
    EXPECT_EQ(results[0].code, 8);
    for (int k = 0; k < probes; ++k) {
        const std::vector<uint8_t> sent = VirtualProbe::probe(k).commandsWritten();
        // Another probe may have been past its check when the cancel came: one report at most.
        EXPECT_LE(sent.size(), written[size_t(k)] + 1) << k;
        if (k == 0 || results[size_t(k)].status != GangStatus::Passed) {
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
