// Read-back services of the emulated firmware: forget the offline job, compare a range's MD5,
// and report MD5 or CRC-32 of a range with the reply checksum the host checks.
#include "firmware.h"

#include <algorithm>

namespace vprobe {

namespace {
constexpr uint8_t done = 0xAA;
constexpr uint8_t differs = 0x55;
constexpr uint8_t protectedStatus = 0xCC;
constexpr uint8_t readError = 0xFF;
} // namespace

// 0x92 is a fixed report: every payload byte holds its own position.
Reply ProbeFirmware::offlineErase(const OutReport &out)
{
    for (size_t k = 2; k <= 60; ++k) {
        if (out[k] != k)
            return refuse(out, BadLayout, "offline erase: not the fixed pattern");
    }
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    offlineStored = false;
    powerCycle();
    return accept(out[1], done);
}

Reply ProbeFirmware::verifyRange(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (phase != Phase::Checked)
        return refuse(out, OutOfOrder, "verify without chip detect and check");
    const uint32_t address = wire::le32(&out[3]);
    const uint32_t length = wire::le32(&out[7]);
    if (out[2] != chip.model || !wire::allZero(out, 27, 60) || address % 4 != 0
        || length > TargetFlash::rangeLimit || !TargetFlash::rangeFits(address, length))
        return refuse(out, BadLayout, "verify: wrong model, range or padding");
    if (chip.readProtected)
        return accept(out[1], protectedStatus);
    const Md5Digest digest = flashMd5(flash, address, length);
    return accept(out[1], std::equal(digest.begin(), digest.end(), &out[11]) ? done : differs);
}

// 0x91 (MD5, bytes 4..19, sum at 20..23) and 0x8F (CRC-32, bytes 4..7, sum at 8..11).
Reply ProbeFirmware::digestRange(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, readError, "bad checksum");
    if (phase != Phase::Checked)
        return refuse(out, readError, "read-back without chip detect and check");
    const uint32_t address = wire::le32(&out[3]);
    const uint32_t size = wire::le32(&out[7]);
    if (out[2] != chip.model || !wire::allZero(out, 11, 60) || address % 4 != 0 || size % 4 != 0
        || size > TargetFlash::rangeLimit || !TargetFlash::rangeFits(address, size))
        return refuse(out, readError, "read-back: wrong model, range or padding");
    if (chip.readProtected)
        return accept(out[1], protectedStatus);
    Reply reply = accept(out[1], 0);
    size_t sumAt = 0;
    if (out[1] == 0x91) {
        const Md5Digest digest = flashMd5(flash, address, size);
        std::copy(digest.begin(), digest.end(), &reply[4]);
        sumAt = 20;
    } else {
        wire::putLe32(&reply[4], flashCrc32(flash, address, size));
        sumAt = 8;
    }
    wire::putLe32(&reply[sumAt], wire::byteSum(reply.data(), sumAt));
    return reply;
}

} // namespace vprobe
