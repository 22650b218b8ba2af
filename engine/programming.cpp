// One programming run: local checks, then the vendor commands in order, mapped to one result code.
#include "download.h"
#include "job/erasemode.h"

namespace {

constexpr int maxImagesWithoutSectorErase = 7;
constexpr int32_t proceed = -1; // not a result code: the run goes on

// Nothing is sent to the probe for a run these end.
int32_t localCheck(const Download &d)
{
    if (d.connected == 0)
        return 1;
    if (d.eraseMode == job::NoErase && d.programEnabled == 0 && d.rollingCodeAddress == 0)
        return 0;
    if (d.fileCount == 0) {
        if (d.programEnabled == 1)
            return 4;
        if (d.eraseMode != job::FullErase && d.eraseMode != job::NoErase
            && d.rollingCodeAddress == 0)
            return 4;
    }
    // Only the sector-erase report tells the probe where images beyond the seventh go; any other
    // mode would erase the chip and then fail at the eighth image.
    if (d.programEnabled == 1 && d.fileCount > maxImagesWithoutSectorErase
        && d.eraseMode != job::SectorErase)
        return 14;
    return proceed;
}

int32_t identifyChip(Download &d)
{
    switch (d.detectChip()) {
    case 0:
        break;
    case -2:
        return 6;
    case -3:
        // Forced offline programming takes a chip that reads no device id without checking it.
        if (d.offlineForceProgram_flag == 1)
            return proceed;
        return 2;
    default:
        return 2;
    }
    switch (d.checkChip()) {
    case 0:
        return proceed;
    case 3:
        return 3;
    case 4:
        return 10;
    case 5:
        return 11;
    case 6:
        return 12;
    case 7:
        return 13;
    default:
        return 2;
    }
}

int32_t sendJob(Download &d)
{
    if (d.sendSettings() != 0)
        return 2;
    // Also without erasing, the probe is told the mode and the regions of the listed files.
    const bool erase = d.eraseMode == job::FullErase
        || ((d.eraseMode == job::SectorErase || d.eraseMode == job::NoErase) && d.fileCount > 0);
    if (erase && d.eraseFlash() != 0)
        return 7;
    if (d.programEnabled == 1) {
        for (int i = 0; i < d.fileCount; ++i) {
            if (d.programImage(i) != 0)
                return 8;
        }
    }
    if (d.rollingCodeAddress != 0 && d.writeRollingCode() != 0)
        return 9;
    if (d.finishJob() != 0)
        return 8;
    const bool eraseOnly = d.eraseMode == job::FullErase && d.rollingCodeAddress == 0
        && (d.programEnabled == 0 || d.fileCount == 0);
    return eraseOnly ? 5 : 0;
}

int32_t run(Download &d)
{
    int32_t code = localCheck(d);
    if (code != proceed)
        return code;
    code = identifyChip(d);
    if (code != proceed)
        return code;
    return sendJob(d);
}

} // namespace

// Result codes: 0 job done (or nothing to do); 1 probe not connected; 2 probe or chip not
// answering properly; 3 wrong chip model; 4 no file and no rolling code; 5 erase finished (full
// erase was the only work); 6 probe needs reconnecting; 7 erase failed; 8 programming failed;
// 9 rolling code failed; 10 chip read-protected without full erase; 11 LDROM image too large
// (boots from LDROM); 12 LDROM image too large (boots from APROM); 13 chip detection error;
// 14 more than seven images to program without sector erase.
// Every failure ends the run at once; nothing is sent after it.
int32_t Download::runProgramming()
{
    result = run(*this);
    return result;
}
