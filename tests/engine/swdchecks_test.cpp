// What a job setup asks to learn of each board over SWD, as the command line, the gang and the
// window all take it: the chip ID's place (job over pack) and the self-test's options.
#include "engine/swdjobof.h"
#include "job/jobsetup.h"

#include <gtest/gtest.h>

namespace {

pack::TargetDescription withUniqueId(const QString &start, const QString &size)
{
    pack::TargetDescription target;
    target.descriptionFile = QStringLiteral("Q.pdsc");
    pack::PackElement e;
    e.element = QStringLiteral("uniqueid");
    e.line = 12;
    e.attributes = {{QStringLiteral("start"), start}, {QStringLiteral("size"), size}};
    target.elements.append(e);
    return target;
}

TEST(SwdChecks, IdPlaceFromTheJobElseThePack)
{
    const struct
    {
        const char *jobUid;
        bool packHasOne;
        bool ok;
        uint32_t address, length;
        const char *error;
    } cases[] = {
        {"", false, true, 0, 0, ""},
        {"", true, true, 0x40010100, 12, ""},
        {"0x20000000:4", true, true, 0x20000000, 4, ""},
        {"0x20000000:33", true, false, 0, 0,
         "芯片ID位置无效（地址:长度，1到32字节）：0x20000000:33"},
        {"0x20000000", false, false, 0, 0, "芯片ID位置无效（地址:长度，1到32字节）：0x20000000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.jobUid);
        job::JobSetup setup;
        setup.uid = QString::fromUtf8(c.jobUid);
        const pack::TargetDescription target = c.packHasOne
            ? withUniqueId(QStringLiteral("0x40010100"), QStringLiteral("12"))
            : pack::TargetDescription();
        UidPlace uid;
        rtt::CheckOptions check;
        QString error;
        EXPECT_EQ(swdChecksOf(setup, target, uid, check, error), c.ok);
        EXPECT_EQ(error, QString::fromUtf8(c.error));
        if (c.ok) {
            EXPECT_EQ(uid.address, c.address);
            EXPECT_EQ(uid.length, c.length);
        }
    }
    // A pack's element that is not a place names its file and line.
    job::JobSetup setup;
    UidPlace uid;
    rtt::CheckOptions check;
    QString error;
    EXPECT_FALSE(swdChecksOf(setup, withUniqueId(QStringLiteral("x"), QStringLiteral("12")), uid,
                             check, error));
    EXPECT_EQ(error, QStringLiteral("芯片ID位置无效（地址:长度，1到32字节）：x:12 (Q.pdsc:12)"));
}

TEST(SwdChecks, SelfTestOptionsOnlyWithAnExpectedPattern)
{
    job::JobSetup setup;
    setup.rttFail = QStringLiteral("FAIL");
    setup.rttTimeoutMs = 750;
    setup.rttAddress = 0x20000400;
    UidPlace uid;
    rtt::CheckOptions check;
    QString error;
    ASSERT_TRUE(swdChecksOf(setup, pack::TargetDescription(), uid, check, error));
    EXPECT_TRUE(check.expect.pattern().isEmpty());
    EXPECT_TRUE(check.fail.pattern().isEmpty());
    EXPECT_EQ(check.timeoutMs, 5000);
    EXPECT_EQ(check.address, 0u);

    setup.rttExpect = QStringLiteral("SELFTEST (PASS|OK)");
    ASSERT_TRUE(swdChecksOf(setup, pack::TargetDescription(), uid, check, error));
    EXPECT_EQ(check.expect.pattern(), QStringLiteral("SELFTEST (PASS|OK)"));
    EXPECT_EQ(check.fail.pattern(), QStringLiteral("FAIL"));
    EXPECT_EQ(check.timeoutMs, 750);
    EXPECT_EQ(check.address, 0x20000400u);

    // The run checks only a board it reset.
    SwdJob job;
    job.selfTest = check;
    EXPECT_FALSE(job.checks());
    job.resetAndRun = true;
    EXPECT_TRUE(job.checks());
}

} // namespace
