// The job frame of the emulated firmware: encrypted settings, erase, rolling code and finish.
#include "firmware.h"

#include "job/memorygeometry.h"
#include "probe/settingskey.h"

#include <algorithm>

namespace vprobe {

namespace {
constexpr uint8_t firstEraseMark = 0xAA;
constexpr uint8_t secondEraseMark = 0x55;
constexpr int regionsPerReport = 7;

bool isFlag(uint8_t b)
{
    return b <= 1;
}
} // namespace

// Plain settings, offsets relative to report byte 2.
bool ProbeFirmware::decodeSettings(const uint8_t *p, Settings &s) const
{
    const uint8_t watchdog = p[23];
    const bool flagsOk = isFlag(p[3]) && isFlag(p[4]) && isFlag(p[5]) && isFlag(p[6])
        && isFlag(p[7]) && isFlag(p[8]) && isFlag(p[24]);
    const bool rangesOk = p[0] <= 10 && p[1] <= 5 && p[2] <= 2 && p[9] == 0 && p[22] <= 2
        && (watchdog == 0 || watchdog == 0xA8 || watchdog == 0x55) && p[25] == 1;
    if (!flagsOk || !rangesOk || !std::all_of(p + 26, p + 32, [](uint8_t b) { return b == 0; }))
        return false;
    std::copy(p, p + 32, s.plain.begin());
    s.fileCount = p[0];
    s.eraseMode = p[2];
    s.program = p[3];
    s.verify = p[4];
    s.offline = p[6];
    s.timestamp = wire::le32(p + 18);
    s.protectLevel = p[22];
    return true;
}

Reply ProbeFirmware::jobSettings(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (phase != Phase::Detected && phase != Phase::Checked)
        return refuse(out, OutOfOrder, "settings without a chip detect");
    if (!wire::allZero(out, 34, 60))
        return refuse(out, BadLayout, "settings: bytes after the cipher text are not zero");
    std::array<uint8_t, 32> plain{};
    CbcDecryptor aes;
    if (!aes.start(quorvel::settingsKeyBytes, quorvel::settingsIvBytes)
        || !aes.decrypt(&out[2], plain.data(), plain.size()))
        return refuse(out, BadLayout, "settings: cannot decrypt");
    Settings decoded;
    if (!decodeSettings(plain.data(), decoded))
        return refuse(out, BadLayout, "settings: a field is out of range");
    settings = decoded;
    settingsValid = true;
    regions = {};
    nextImage = 0;
    rollingWritten = false;
    phase = Phase::Configured;
    return accept(out[1], 0);
}

// Entries of 8 bytes from byte 5 (address, length); the rest of the payload must be zero.
bool ProbeFirmware::readRegions(const OutReport &out, int first, int count)
{
    if (!wire::allZero(out, 5 + 8 * size_t(count), 60))
        return false;
    for (int j = 0; j < count; ++j) {
        const uint32_t address = wire::le32(&out[5 + 8 * j]);
        const uint32_t length = wire::le32(&out[9 + 8 * j]);
        if (address % 4 != 0 || length > TargetFlash::rangeLimit
            || !TargetFlash::rangeFits(address, length))
            return false;
        regions[size_t(first) + size_t(j)] = Region{true, address, length};
    }
    return true;
}

// First report: mode, entry count, 0xAA. Second (sector erase of more than seven images): entry
// count, 0x01, 0x55. The regions are also where the images will go: the probe learns image
// addresses from here only.
Reply ProbeFirmware::erase(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    const bool second = phase == Phase::ErasePending;
    if (!second && phase != Phase::Configured)
        return refuse(out, OutOfOrder, "erase without settings");
    const int first = second ? regionsPerReport : 0;
    const int count = second ? settings.fileCount - regionsPerReport
                             : std::min(settings.fileCount, regionsPerReport);
    const bool headerOk = second
        ? out[2] == count && out[3] == 1 && out[4] == secondEraseMark
        : out[2] == settings.eraseMode && out[3] == count && out[4] == firstEraseMark;
    if (!headerOk)
        return refuse(out, BadLayout, "erase: header does not match the settings");
    if (!readRegions(out, first, count))
        return refuse(out, BadLayout, "erase: bad region entry");
    if (chip.readProtected && settings.eraseMode != 0)
        return refuse(out, Protected, "erase: chip is read-protected");

    if (settings.eraseMode == 0) {
        flash.eraseAll();
        if (chip.appliedProtectLevel != 2) {
            chip.readProtected = false;
            chip.appliedProtectLevel = 0;
        }
    } else if (settings.eraseMode == 1) {
        for (int j = first; j < first + count; ++j)
            flash.eraseSectors(regions[size_t(j)].address, regions[size_t(j)].length);
    }
    const bool more = !second && settings.eraseMode == 1 && settings.fileCount > regionsPerReport;
    phase = more ? Phase::ErasePending : Phase::Erased;
    return accept(out[1], 0);
}

Reply ProbeFirmware::rollingCode(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (!readyToEnd() || rollingWritten)
        return refuse(out, OutOfOrder, "rolling code outside the end of a job");
    const uint32_t address = wire::le32(&out[5]);
    const uint32_t value = wire::le32(&out[9]);
    const uint32_t step = wire::le32(&out[13]);
    if (!wire::allZero(out, 2, 4) || !wire::allZero(out, 17, 60) || address == 0 || address % 4 != 0
        || !TargetFlash::rangeFits(address, 4))
        return refuse(out, BadLayout, "rolling code: bad address or padding");
    if (!quorvel::qb48Geometry.holds(address, 4))
        return refuse(out, OutsideFlash,
                      "rolling code: word lies outside the main flash and LDROM");
    if (chip.readProtected)
        return refuse(out, Protected, "rolling code: chip is read-protected");
    const bool sameSeries = rolling.active && rolling.address == address && rolling.first == value
        && rolling.step == step;
    if (!sameSeries)
        rolling = RollingCode{true, address, value, step, value};
    uint8_t bytes[4];
    wire::putLe32(bytes, rolling.next);
    flash.store(address, bytes, sizeof bytes);
    rollingWritten = true;
    return accept(out[1], 0xBB);
}

Reply ProbeFirmware::finish(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (!wire::allZero(out, 2, 60))
        return refuse(out, BadLayout, "finish: payload not empty");
    if (!readyToEnd())
        return refuse(out, OutOfOrder, "finish before the job is complete");
    if (settings.protectLevel > 0) {
        chip.readProtected = true;
        chip.appliedProtectLevel = std::max(chip.appliedProtectLevel, settings.protectLevel);
    }
    if (rollingWritten)
        rolling.next += rolling.step;
    if (settings.offline)
        offlineStored = true;
    phase = Phase::Idle;
    return accept(out[1], 0xAA);
}

} // namespace vprobe
