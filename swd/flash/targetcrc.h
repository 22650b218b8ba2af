// CRC-32 of flash computed on the target: the host's CRC routine (Quorvel_Crc32.FLM) loaded into
// the RAM plan's place for it and called like a flash-algorithm routine, a batch of ranges a call.
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
    bool batch(const CrcRange *ranges, uint32_t count, uint32_t *crcs);

    DebugPort &m_port;
    const CrcRoutine &m_routine;
    const RamPlan &m_plan;
};
