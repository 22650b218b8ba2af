// Programming through any CMSIS-DAP probe: the job runs the device's flash algorithms (from its
// pack) in target RAM over SWD. The entry points the command line calls.
#pragma once

#include "job/erasemode.h"
#include "pack/jobalgorithms.h"
#include "pack/targetdescription.h"
#include "swd/debug/targetcontrol.h"
#include "swd/link/daptransport.h"
#include "swd/rtt/rttcheck.h"
#include "swd/swdresult.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct SwdImage
{
    uint32_t address; // as the device's algorithms' ranges count it
    const uint8_t *data;
    uint32_t length;
    QString name; // for messages
};

enum SwdVerifyMode {
    SwdVerifyCrc = 0, // CRC-32 per sector on the target; a mismatch is read back to name the byte
    SwdVerifyReadback = 1, // every byte read back over the debug port
};

struct SwdJob
{
    std::vector<SwdImage> images;
    // job::EraseMode. Full: the range of every algorithm marked fullErase whole, the others'
    // sectors as sector erase does. Sector and auto: only the sectors the
    // images touch, and of those none that already holds what the job leaves there; auto also
    // programs a blank sector without erasing it.
    int eraseMode = job::AutoErase;
    bool program = true;
    bool verify = true;
    int verifyMode = SwdVerifyCrc;
    bool resetAndRun = false;
    SwdConnectOptions connect; // connect mode, reset type, debugvar overrides
    QString flmDir; // of the CRC routine; empty: swdFlashAlgorithmDir()
    uint32_t clockHz = 4000000;
    // The device with its algorithm images loaded; none: the shipped pack's default device.
    pack::TargetDescription target;
    // After the reset, the board's own check over RTT in the device's RAM (its default writable
    // memory); an empty expect pattern: none.
    rtt::CheckOptions selfTest;
    bool checks() const { return resetAndRun && !selfTest.expect.pattern().isEmpty(); }
};

// The device `name` of the packs in `folder` (the shipped ones when empty), algorithms loaded.
// Of its algorithms, the defaults and those `images` need.
bool swdLoadTarget(const QString &name, pack::TargetDescription &out, QString &error,
                   const QString &folder = QString(), const QVector<pack::ImageSpan> &images = {});

struct ProbeCaps
{
    bool ok = false; // DAP_Info answered; the rest is only meaningful then
    QString vendor, product, serial, firmware, protocol;
    int packetCount = 0;
    int packetSize = 0;
    bool swd = false;
    QString error;
};

using SwdProgress = std::function<void(const QString &phase, int percent)>;

// Erases (unless eraseMode is none, also with program off: an erase-only job), programs, verifies
// and resets as asked, then runs the self-test when the job checks. Phases reported: "connect",
// "erase", "program", "verify", "reset", "check", each with 0..100; sectors skipped count as
// programmed. The probe stays open; the caller closes it.
SwdResult runSwdJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress);
// Erases every flash range of the job's device whole.
SwdResult eraseDevice(DapTransport &probe, const SwdJob &job, const SwdProgress &progress);
// The same for the default device.
SwdResult eraseChip(DapTransport &probe, const QString &flmDir, const SwdProgress &progress,
                    uint32_t clockHz = 4000000);
// Only reads back and compares the job's images.
SwdResult verifyJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress);
ProbeCaps probeCapabilities(DapTransport &probe);

// Folder of the CRC routine Quorvel_Crc32.FLM:
// QUORVEL_FLASHALGO_DIR if set, else
// ../share/quorvel/flashalgo beside the executable (installed), else the build tree's flashalgo/.
QString swdFlashAlgorithmDir();
