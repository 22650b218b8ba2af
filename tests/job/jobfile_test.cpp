// Job files and option rules: what is refused and why, and a full job's round trip.
#include "job/hexregions.h"
#include "job/jobfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QDir base(QStringLiteral("/jobs/line1"));

QString refusal(const char *json)
{
    job::JobSetup setup;
    QString error;
    EXPECT_FALSE(job::parseJob(json, base, setup, error)) << json;
    return error;
}

TEST(JobFile, RefusesWhatItDoesNotUnderstand)
{
    const struct
    {
        const char *json;
        const char *error;
    } cases[] = {
        {"[1]", "工程文件不是有效的JSON："},
        {R"({"version":1})", "不是Quorvel工程文件"},
        {R"({"format":"quorvel-job","version":3})", "工程文件版本3较新，本程序只支持版本2"},
        {R"({"format":"quorvel-job","version":1.5})", "键version的值无效"},
        {R"({"format":"quorvel-job","version":1,"extra":0})", "未知的键：extra"},
        {R"({"format":"quorvel-job","version":1,"offline":{"speed":1}})",
         "未知的键：offline.speed"},
        {R"({"format":"quorvel-job","version":1,"chip":"QZ9"})", "键chip的值无效"},
        {R"({"format":"quorvel-job","version":1,"erase":"some"})", "键erase的值无效"},
        {R"({"format":"quorvel-job","version":1,"program":"yes"})", "键program的值无效"},
        {R"({"format":"quorvel-job","version":1,"protect":3})", "键protect的值无效"},
        {R"({"format":"quorvel-job","version":1,"serialLedger":1})", "键serialLedger的值无效"},
        {R"({"format":"quorvel-job","version":1,"rollingCode":{"value":"0x1"}})",
         "键rollingCode.address的值无效"},
        {R"({"format":"quorvel-job","version":1,"rollingCode":{"address":"0x123456789"}})",
         "键address的值无效"},
        {R"({"format":"quorvel-job","version":1,"offline":{"autoMs":3001}})", "键autoMs的值无效"},
        {R"({"format":"quorvel-job","version":1,"files":[{"address":"0x0"}]})",
         "键files[].path的值无效"},
        {R"({"format":"quorvel-job","version":1,"files":[{"path":"a.bin","crc32":"0x1"}]})",
         "键files[].length的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":"QS64"})", "键target的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"pack":"a.pack"}})",
         "键target.device的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","pack":""}})",
         "键target.pack的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","cores":"M0"}})",
         "未知的键：target.cores"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","core":""}})",
         "键target.core的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","algorithms":"O"}})",
         "键target.algorithms的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"Q","algorithms":["A",1]}})",
         "键target.algorithms的值无效"},
        // The SWD path's keys belong to version 2; a version 1 file holding one is not one.
        {R"({"format":"quorvel-job","version":1,"via":"swd"})", "未知的键：via"},
        {R"({"format":"quorvel-job","version":2,"via":"jtag"})", "键via的值无效"},
        {R"({"format":"quorvel-job","version":2,"transport":"usb"})", "键transport的值无效"},
        {R"({"format":"quorvel-job","version":2,"verifyMode":"bytes"})", "键verifyMode的值无效"},
        {R"({"format":"quorvel-job","version":2,"swdClock":999})", "键swdClock的值无效"},
        {R"({"format":"quorvel-job","version":2,"swdClock":50000001})", "键swdClock的值无效"},
        {R"({"format":"quorvel-job","version":2,"swdClock":"4000000"})", "键swdClock的值无效"},
        // The chip's ID place and the self-test, also version 2 only.
        {R"({"format":"quorvel-job","version":1,"uid":"0x10000060:8"})", "未知的键：uid"},
        {R"({"format":"quorvel-job","version":2,"uid":8})", "键uid的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":"PASS"})", "键rtt的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"expect":""}})", "键rtt.expect的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"fail":"F"}})", "键rtt.expect的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"expect":"P","wait":1}})",
         "未知的键：rtt.wait"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"expect":"P","fail":1}})",
         "键rtt.fail的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"expect":"P","timeoutMs":600001}})",
         "键timeoutMs的值无效"},
        {R"({"format":"quorvel-job","version":2,"rtt":{"expect":"P","address":"0x1FFFFFFFF"}})",
         "键address的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","debugvars":[1]}})",
         "键target.debugvars的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","debugvars":{"Key":"0xZZ"}}})",
         "键target.debugvars.Key的值无效"},
        {R"({"format":"quorvel-job","version":1,"target":{"device":"QS64","debugvars":{"Key":5}}})",
         "键target.debugvars.Key的值无效"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(refusal(c.json).startsWith(QString::fromUtf8(c.error))) << c.json;
}

TEST(JobFile, FullJobRoundTripsWithPathsRelativeToTheJob)
{
    job::JobSetup setup;
    setup.chipIndex = 6;
    setup.eraseMode = job::SectorErase;
    setup.verify = false;
    setup.resetAndRun = true;
    setup.protectLevel = 1;
    setup.rollingAddress = 0x1FFC;
    setup.rollingValue = 0xA0;
    setup.rollingStep = 2;
    setup.watchdog = job::WatchdogOn;
    setup.offline = true;
    setup.offlineCount = 7;
    setup.offlineAutoMs = 300;
    setup.serialLedger = true;
    job::JobFile file{"/jobs/shared/app.bin", true, 0x800, true, 4096, 0xCAFEF00D};
    setup.files = {file};
    setup.targetDevice = "QS64";
    setup.targetPack = "/jobs/packs/Quorvel.QS64.pack";
    setup.targetAlgorithms = QStringList{"QS64_OPT.FLM", "QS64_OTP"};
    setup.targetCore = "cm0";

    const QByteArray text = job::serializeJob(setup, base);
    EXPECT_TRUE(text.contains(R"("path": "../shared/app.bin")"));
    EXPECT_TRUE(text.contains(R"("target": {
        "algorithms": [
            "QS64_OPT.FLM",
            "QS64_OTP"
        ],
        "core": "cm0",
        "device": "QS64",
        "pack": "../packs/Quorvel.QS64.pack"
    })"));
    EXPECT_TRUE(text.contains(R"("chip": "QC18/19")"));
    job::JobSetup back;
    QString error;
    ASSERT_TRUE(job::parseJob(text, base, back, error)) << error.toStdString();
    EXPECT_EQ(job::serializeJob(back, base), text);
    EXPECT_EQ(back.files[0].path, "/jobs/shared/app.bin");
    EXPECT_EQ(back.targetPack, "/jobs/packs/Quorvel.QS64.pack");
    EXPECT_EQ(back.targetAlgorithms, setup.targetAlgorithms);
    EXPECT_EQ(back.targetCore, "cm0");
    EXPECT_EQ(back.files[0].crc32, 0xCAFEF00Du);
    EXPECT_EQ(back.watchdog, job::WatchdogOn);
    EXPECT_TRUE(back.serialLedger);
}

// A job on the dedicated probe stays a version 1 file that older readers take; one that uses the
// SWD path becomes version 2 and keeps every choice.
TEST(JobFile, SwdChoicesNeedVersionTwoAndRoundTrip)
{
    job::JobSetup vendor;
    vendor.targetDevice = "QS64";
    EXPECT_TRUE(job::serializeJob(vendor, base).contains(R"("version": 1,)"));
    EXPECT_FALSE(job::serializeJob(vendor, base).contains(R"("via")"));

    const struct
    {
        void (*change)(job::JobSetup &);
        const char *expected;
    } cases[] = {
        {[](job::JobSetup &s) { s.via = job::ViaSwd; }, R"("via": "swd")"},
        {[](job::JobSetup &s) { s.transport = "bulk"; }, R"("transport": "bulk")"},
        {[](job::JobSetup &s) { s.verifyReadback = true; }, R"("verifyMode": "readback")"},
        {[](job::JobSetup &s) { s.swdClockHz = 1000; }, R"("swdClock": 1000)"},
        {[](job::JobSetup &s) { s.uid = "0x1FFFF7AC:12"; }, R"("uid": "0x1FFFF7AC:12")"},
        {[](job::JobSetup &s) {
             s.rttExpect = "PASS";
             s.rttFail = "FAIL";
             s.rttTimeoutMs = 250;
             s.rttAddress = 0x20000100;
         },
         R"("rtt": {
        "address": "0x20000100",
        "expect": "PASS",
        "fail": "FAIL",
        "timeoutMs": 250
    })"},
    };
    for (const auto &c : cases) {
        job::JobSetup setup = vendor;
        c.change(setup);
        const QByteArray text = job::serializeJob(setup, base);
        EXPECT_TRUE(text.contains(R"("version": 2,)")) << c.expected;
        EXPECT_TRUE(text.contains(c.expected)) << text.toStdString();
        job::JobSetup back;
        QString error;
        ASSERT_TRUE(job::parseJob(text, base, back, error)) << error.toStdString();
        EXPECT_EQ(job::serializeJob(back, base), text);
    }
    // Written by a version 2 reader, read by it as written.
    job::JobSetup back;
    QString error;
    ASSERT_TRUE(job::parseJob(
        R"({"format":"quorvel-job","version":2,"via":"swd","transport":"hid","verifyMode":"crc",)"
        R"("swdClock":2000000,"target":{"device":"QS64","algorithms":["X.FLM"],"core":"c1"}})",
        base, back, error))
        << error.toStdString();
    EXPECT_EQ(back.via, job::ViaSwd);
    EXPECT_EQ(back.transport, "hid");
    EXPECT_FALSE(back.verifyReadback);
    EXPECT_EQ(back.swdClockHz, 2000000u);
    EXPECT_EQ(back.targetAlgorithms, QStringList{"X.FLM"});
    EXPECT_EQ(back.targetCore, "c1");
}

TEST(JobFile, DebugvarsRoundTripAsHexStrings)
{
    job::JobSetup setup;
    setup.targetDevice = "QS64";
    setup.targetDebugVars = {{"Key", 0xFEDCBA9876543210ull}, {"Mode", 1}};
    const QByteArray text = job::serializeJob(setup, base);
    EXPECT_TRUE(text.contains(R"("debugvars": {
            "Key": "0xFEDCBA9876543210",
            "Mode": "0x1"
        })"))
        << text.constData();
    job::JobSetup back;
    QString error;
    ASSERT_TRUE(job::parseJob(R"({"format":"quorvel-job","version":1,"target":{"device":"QS64",)"
                              R"("debugvars":{"Key":"0xFEDCBA9876543210","Mode":"1"}}})",
                              base, back, error))
        << error.toStdString();
    EXPECT_EQ(back.targetDebugVars, setup.targetDebugVars);
}

TEST(JobOptions, WindowRulesRefuseBadCombinations)
{
    const struct
    {
        void (*change)(job::JobSetup &);
        const char *problem;
    } cases[] = {
        {[](job::JobSetup &) {}, ""},
        {[](job::JobSetup &s) { s.rollingAddress = 0x1FFE; }, "FLASH地址必须4字节对齐"},
        {[](job::JobSetup &s) { s.offlineMachine = true; }, "脱机选项需要打开脱机烧写功能"},
        {[](job::JobSetup &s) { s.offline = true, s.offlineAutoMs = 299; },
         "自动烧写间隔必须在300-3000毫秒之间"},
        {[](job::JobSetup &s) { s.chipIndex = 0; }, "未知芯片型号"},
    };
    for (const auto &c : cases) {
        job::JobSetup setup;
        c.change(setup);
        EXPECT_EQ(job::optionsProblem(setup), QString::fromUtf8(c.problem));
    }
}

TEST(HexRegions, SplitsOnlyRegionsTooFarApartForOneImage)
{
    const QByteArray near = ":020000040000FA\n:0100000011EE\n:020000040001F9\n:0100000022DD\n"
                            ":00000001FF\n";
    EXPECT_TRUE(job::splitHexRegions(near).isEmpty()); // 64 KiB apart: one image
    const QByteArray far = ":020000041000EA\n:0100000011EE\n:020000040000FA\n:0108000022D5\n"
                           ":00000001FF\n";
    const QVector<QByteArray> regions = job::splitHexRegions(far);
    ASSERT_EQ(regions.size(), 2);
    EXPECT_EQ(regions[0], ":020000040000FA\n:0108000022D5\n:00000001FF\n");
    EXPECT_EQ(regions[1], ":020000041000EA\n:0100000011EE\n:00000001FF\n");
    EXPECT_TRUE(job::splitHexRegions(":02000004ZZ00FA\n").isEmpty());
}

} // namespace
