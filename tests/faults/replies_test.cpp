// Scripted hostile probes: every seed and reproducer of the reply fuzzer is replayed, and a table
// of scripts pins down the host's answer to each kind of reply.
#include "replyscript.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>
#include <gtest/gtest.h>

using faults::ScriptOutcome;
using Bytes = std::vector<uint8_t>;

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

// A script: the header fields, then replies appended with reply() and echoed().
class Script
{
public:
    Script(uint8_t job, uint8_t selection, uint8_t chip, uint8_t unplugAfter = 0)
        : bytes{job, selection, chip, unplugAfter}
    {
        images({100, 1024, 48}, {0x0, 0x400, 0x1000}, 0x1000);
    }
    // Replaces the image lengths and addresses and the read-back range of the header.
    Script &images(std::array<uint16_t, 3> lengths, std::array<uint32_t, 3> addresses,
                   uint32_t range)
    {
        bytes.resize(4);
        for (uint16_t length : lengths) {
            bytes.push_back(uint8_t(length));
            bytes.push_back(uint8_t(length >> 8));
        }
        for (uint32_t address : addresses)
            le32(address);
        le32(range);
        return *this;
    }
    // A reply of exactly these bytes to `command` (selector = its index in scriptCommands).
    Script &reply(uint8_t command, const Bytes &reply)
    {
        bytes.push_back(selector(command));
        bytes.push_back(uint8_t(reply.size()));
        bytes.insert(bytes.end(), reply.begin(), reply.end());
        return *this;
    }
    // A 64-byte reply echoing `command`, then `rest` and zeros.
    Script &echoed(uint8_t command, const Bytes &rest)
    {
        bytes.push_back(selector(command));
        bytes.push_back(0xFF);
        Bytes tail = rest;
        tail.resize(63, 0);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return *this;
    }
    ScriptOutcome run() const
    {
        std::vector<uint8_t> images(3 * faults::maxImage);
        for (size_t k = 0; k < images.size(); ++k)
            images[k] = uint8_t(k * 31 + 7);
        return faults::runScript(bytes.data(), bytes.size(), images.data());
    }

private:
    static uint8_t selector(uint8_t command)
    {
        for (size_t k = 0; k < sizeof faults::scriptCommands; ++k) {
            if (faults::scriptCommands[k] == command)
                return uint8_t(k);
        }
        return 0;
    }
    void le32(uint32_t value)
    {
        for (int k = 0; k < 4; ++k)
            bytes.push_back(uint8_t(value >> (8 * k)));
    }
    Bytes bytes;
};

// Full erase, program, verify, rolling code; QB48 selected and behind the probe; three files.
constexpr uint8_t fullJob = 0x1C;
constexpr uint8_t qb48ThreeFiles = 0x32;
constexpr uint8_t qb48Chip = 0x20;

class ScriptedProbe : public ::testing::Test
{
protected:
    void SetUp() override { previous = qInstallMessageHandler(quiet); }
    void TearDown() override { qInstallMessageHandler(previous); }
    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(ScriptedProbe, CorpusKeepsTheRules)
{
    const QDir corpus(QStringLiteral(QUORVEL_REPLY_CORPUS));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    std::vector<uint8_t> images(3 * faults::maxImage, 0x3C);
    for (const QString &name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        const ScriptOutcome o = faults::runScript(reinterpret_cast<const uint8_t *>(bytes.data()),
                                                  size_t(bytes.size()), images.data());
        EXPECT_EQ(o.broken, "") << name.toStdString();
    }
}

TEST_F(ScriptedProbe, AnswersToHostileReplies)
{
    struct Case
    {
        const char *name;
        Script script;
        ScriptOutcome expected; // open, run, verify, md5, crc, offline erase
    };
    // 64 bytes: byte 0 and byte 1 as given, zeros after.
    const auto report = [](uint8_t first, uint8_t second) {
        Bytes b(64, 0);
        b[0] = first;
        b[1] = second;
        return b;
    };
    const auto slowErase = [](Script script) {
        for (int k = 0; k < 50; ++k)
            script.reply(0x96, {});
        return script.echoed(0x96, {0x00});
    };
    const Case cases[] = {
        {"the emulator answers everything",
         Script(fullJob, qb48ThreeFiles, qb48Chip),
         {1, 0, 0, 0, 0, 0, {}}},
        {"no probe plugged in",
         Script(fullJob | 0x80, qb48ThreeFiles, qb48Chip),
         {-1, 1, 1, 2, 2, 1, {}}},
        {"firmware 1.A0 refused",
         Script(fullJob, qb48ThreeFiles, qb48Chip).echoed(0x00, {4, 0xA0, 0x01, 0xFF, 0x6C}),
         {-2, 1, 1, 2, 2, 1, {}}},
        {"DAP_Info lengths beyond the reply",
         Script(fullJob, qb48ThreeFiles, qb48Chip)
             .echoed(0x00, {0xFF, 0x97, 0x01, 0xFF, 0x6C})
             .echoed(0x00, {0xC8, 1, 2, 3}),
         {1, 0, 0, 0, 0, 0, {}}},
        {"chip detect asks for a reconnect",
         Script(fullJob, qb48ThreeFiles, qb48Chip).reply(0x94, {}).reply(0x94, report(0x05, 0x04)),
         {1, 6, 4, 0, 0, 0, {}}},
        {"erase never answers with a whole report",
         Script(fullJob, qb48ThreeFiles, qb48Chip)
             .reply(0x96, {0x96})
             .reply(0x96, Bytes(63, 0x96))
             .reply(0x96, Bytes(65, 0x96)),
         {1, 7, 4, 0, 0, 0, {}}},
        {"offline job: erase answers after 50 empty reads",
         slowErase(Script(fullJob | 0x20, qb48ThreeFiles, qb48Chip)),
         {1, 0, 0, 0, 0, 0, {}}},
        {"the same wait is too long for an online job",
         slowErase(Script(fullJob, qb48ThreeFiles, qb48Chip)),
         {1, 7, 4, 0, 0, 0, {}}},
        {"images past the end of the address space, whole-space read-backs",
         Script(0x05, qb48ThreeFiles, qb48Chip)
             .images({2100, 8, 64}, {0xFFFFFFF0, 0x10000000, 0x0FFFFFFC}, 0xFFFFFFFF),
         {1, 7, 4, 4, 4, 0, {}}},
        {"unplugged at the settings report",
         Script(fullJob, qb48ThreeFiles, qb48Chip, 5),
         {1, 2, 3, 2, 2, -1, {}}},
        {"read-backs: bad sum, read-protected, read error",
         Script(fullJob, qb48ThreeFiles, qb48Chip)
             .echoed(0x91, {0x00, 1, 2, 3})
             .echoed(0x8F, {0xCC, 1, 2, 3})
             .echoed(0x92, {0xAB}),
         {1, 0, 0, -1, 3, -1, {}}},
        {"verify: second image read-protected, echo not examined",
         Script(fullJob, qb48ThreeFiles, qb48Chip)
             .echoed(0x93, {0xAA})
             .reply(0x93, report(0, 0xCC)),
         {1, 0, 5, 0, 0, 0, {}}},
        {"verify: a short reply",
         Script(fullJob, qb48ThreeFiles, qb48Chip).reply(0x93, {0x93, 0xAA}),
         {1, 0, -1, 0, 0, 0, {}}},
    };
    for (const Case &c : cases) {
        const ScriptOutcome o = c.script.run();
        const std::vector<int32_t> got = {o.open, o.run, o.verify, o.md5, o.crc, o.offlineErase};
        const ScriptOutcome &e = c.expected;
        EXPECT_EQ(got,
                  (std::vector<int32_t>{e.open, e.run, e.verify, e.md5, e.crc, e.offlineErase}))
            << c.name;
        EXPECT_EQ(o.broken, "") << c.name;
    }
}
