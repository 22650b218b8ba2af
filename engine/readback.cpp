// Short probe services run from the window's menus: offline job erase, verify against the loaded
// images, and MD5 / CRC-32 of a flash range computed by the probe.
#include "download.h"

#include "probe/reports.h"
#include "probe/transport.h"

#include <algorithm>
#include <cstring>

using namespace probe;

namespace {

constexpr int offlineEraseReadMs = 600;
constexpr int verifyReadMs = 1000;
constexpr uint8_t statusDone = 0xAA;
constexpr uint8_t statusProtected = 0xCC;
constexpr uint8_t statusReadError = 0xFF;

void clearBoth(Download &d)
{
    std::memset(d.inReport, 0, sizeof d.inReport);
    std::memset(d.outReport, 0, sizeof d.outReport);
}

// Where the probe puts a read-back value and its reply checksum.
struct DigestReply
{
    uint8_t command;
    int valueBytes; // from reply byte 4
};
constexpr DigestReply md5Reply{cmd::readMd5, 16};
constexpr DigestReply crcReply{cmd::readCrc32, 4};

// Chip detect and check, the request, and the reply checks shared by readMd5 and readCrc32.
// On 0 the value sits at reply byte 4.
int32_t readFlashDigest(Download &d, const DigestReply &layout, uint32_t address, uint32_t size)
{
    if (!d.chip || d.chip->model == 0)
        return 1;
    if (d.detectChip() != 0)
        return 2;
    switch (d.checkChip()) {
    case -1:
        return -1;
    case 3:
        return 5;
    case 4:
        return 3;
    default:
        break;
    }
    clearBoth(d);
    buildFlashDigestRequest(d.outReport, layout.command, d.chip->model, address, size);
    if (!exchange(d.device, d.outReport, d.inReport, flashDigestTimeoutMs(size)))
        return -1;
    if (!isEcho(d.inReport, layout.command))
        return -1;
    if (d.inReport[1] == statusProtected)
        return 3;
    if (d.inReport[1] == statusReadError)
        return 4;
    return replySumMatches(d.inReport, 4 + layout.valueBytes) ? 0 : -1;
}

} // namespace

// 0x92, a fixed report whatever the job. 0 erased; 1 probe not connected; -1 transport failure or
// refused.
int32_t Download::offlineErase()
{
    if (connected == 0)
        return 1;
    clearBoth(*this);
    buildOfflineErase(outReport);
    if (!exchange(device, outReport, inReport, offlineEraseReadMs))
        return -1;
    return isEchoWithStatus(inReport, cmd::offlineErase, statusDone) ? 0 : -1;
}

// 0x94, 0x95, then 0x93 with the MD5 of each image; the probe compares. 0 every image matches;
// 1 probe not connected; 2 no file listed; 3 chip not found; 4 an image differs; 5 chip
// read-protected; 6 wrong chip model; -1 transport failure. Stops at the first difference.
int32_t Download::verifyImages()
{
    if (connected == 0)
        return 1;
    if (fileCount == 0)
        return 2;
    if (detectChip() != 0)
        return 3;
    switch (checkChip()) {
    case -1:
        return -1;
    case 3:
        return 6;
    case 4:
        return 5;
    default:
        break; // boot-source and detection findings do not stop a comparison
    }
    const int files = std::min(fileCount, int(maxFiles));
    for (int i = 0; i < files; ++i) {
        uint8_t digest[16];
        if ((imageLength[i] > 0 && !imageData[i])
            || !computeMd5(imageData[i], imageLength[i], digest))
            return -1;
        clearBoth(*this);
        buildVerify(outReport, chip ? chip->model : 0, imageAddress[i], imageLength[i], digest);
        if (!exchange(device, outReport, inReport, verifyReadMs))
            return -1;
        if (isEchoWithStatus(inReport, cmd::verify, statusDone))
            continue;
        return inReport[1] == statusProtected ? 5 : 4;
    }
    return 0;
}

// 0x94, 0x95, then 0x91 for `md5Size` bytes at `md5Address`. 0 `md5Digest` read; 1 no chip model
// selected; 2 chip not found; 3 chip read-protected; 4 the probe could not read the flash; 5 wrong
// chip model; -1 transport failure or bad reply checksum. `md5Digest` changes only on 0.
int32_t Download::readMd5()
{
    const int32_t code = readFlashDigest(*this, md5Reply, md5Address, md5Size);
    if (code == 0)
        std::memcpy(md5Digest, inReport + 4, sizeof md5Digest);
    return code;
}

// As readMd5, with 0x8F for `crcSize` bytes at `crcAddress` into `crcValue`.
int32_t Download::readCrc32()
{
    const int32_t code = readFlashDigest(*this, crcReply, crcAddress, crcSize);
    if (code == 0)
        crcValue = getLe32(inReport + 4);
    return code;
}
