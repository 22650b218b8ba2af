// Programming through any CMSIS-DAP probe: the job runs the QB48x flash algorithms in target RAM
// over SWD. The entry points the command line calls.
#pragma once

#include "daptransport.h"
#include "swdresult.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct SwdImage
{
    uint32_t address; // APROM from 0; LDROM from kSwdLdromBase
    const uint8_t *data;
    uint32_t length;
    QString name; // for messages
};

enum SwdEraseMode { SwdEraseFull = 0, SwdEraseSectors = 1, SwdEraseNone = 2 };

struct SwdJob
{
    std::vector<SwdImage> images;
    int eraseMode = SwdEraseFull; // full: whole bank of every image; sectors: those images touch
    bool program = true;
    bool verify = true;
    bool resetAndRun = false;
    QString flmDir; // empty: swdFlashAlgorithmDir()
    uint32_t clockHz = 4000000;
};

struct ProbeCaps
{
    bool ok = false; // DAP_Info answered; the rest is only meaningful then
    QString vendor, product, serial, firmware, protocol;
    int packetCount = 0;
    int packetSize = 0;
    bool swd = false;
    QString error;
};

constexpr uint32_t kSwdLdromBase = 0x10000000;

using SwdProgress = std::function<void(const QString &phase, int percent)>;

// Erases (unless eraseMode is none, also with program off: an erase-only job), programs, verifies
// and resets as asked. Phases reported: "connect", "erase", "program", "verify", "reset", each
// with 0..100. The probe stays open; the caller closes it.
SwdResult runSwdJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress);
// Erases APROM and LDROM whole.
SwdResult eraseChip(DapTransport &probe, const QString &flmDir, const SwdProgress &progress,
                    uint32_t clockHz = 4000000);
// Only reads back and compares the job's images.
SwdResult verifyJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress);
ProbeCaps probeCapabilities(DapTransport &probe);

// Folder of QB48x_Flash_AP.FLM and QB48x_Flash_LD.FLM: QUORVEL_FLASHALGO_DIR if set, else
// ../share/quorvel/flashalgo beside the executable (installed), else the build tree's flashalgo/.
QString swdFlashAlgorithmDir();
