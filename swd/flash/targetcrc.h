// CRC-32 of flash computed on the target: the host's CRC routine (Quorvel_Crc32.FLM) loaded into
// the RAM plan's place for it and called like a flash-algorithm routine, a batch of ranges a call,
// the next batch travelling while one runs where the plan's range list is long.
#pragma once

#include "swd/debug/debugport.h"
#include "swd/flash/ramplan.h"

#include <QString>

#include <optional>
#include <vector>

class CrcRoutine
{
public:
    // Nothing, with a reason, when the file is missing, malformed or lacks Crc32Ranges.
    static std::optional<CrcRoutine> load(const QString &path, QString &error);
    const std::vector<uint8_t> &blob() const { return m_blob; }
    uint32_t entry() const { return m_entry; } // offset in the blob

private:
    std::vector<uint8_t> m_blob;
    uint32_t m_entry = 0;
};

struct CrcRange
{
    uint32_t address; // as the core sees it
    uint32_t length;
};

class TargetCrc
{
public:
    TargetCrc(DebugPort &port, const CrcRoutine &routine, const RamPlan &plan);

    // Copies the routine and the return breakpoint; the core must be halted.
    bool load();
    // One CRC per range. The routine must report every range done and stop at the breakpoint;
    // anything else fails with SwdAlgorithmFailed (or SwdNoHalt when it does not come back).
    bool run(const std::vector<CrcRange> &ranges, std::vector<uint32_t> &crcs);

private:
    static constexpr uint32_t kHalvedBatch = 16; // the shortest range list split in two

    // Ranges a call, and which half of the range list and results a batch uses.
    bool halves() const;
    uint32_t perBatch() const;
    uint32_t half(size_t batch) const;
    uint32_t count(const std::vector<CrcRange> &ranges, size_t batch) const; // ranges in it
    uint32_t rangesAt(size_t batch) const; // where its ranges and results go
    uint32_t resultsAt(size_t batch) const;
    bool sendRanges(const std::vector<CrcRange> &ranges, size_t batch);
    bool start(const std::vector<CrcRange> &ranges, size_t batch);
    // Waits for the batch's return and checks that it came back with every range done.
    bool finish(const std::vector<CrcRange> &ranges, size_t batch);

    DebugPort &m_port;
    const CrcRoutine &m_routine;
    const RamPlan &m_plan;
};
