// Image transfer in the emulated firmware: image start, data blocks reassembled into 1 KiB pages
// (decrypted first in offline mode) and image end with its MD5 check.
#include "firmware.h"

#include "job/memorygeometry.h"
#include "probe/settingskey.h"

#include <algorithm>
#include <cstring>

namespace vprobe {

namespace {
constexpr uint32_t pageSize = 1024;
constexpr uint32_t blockData = 48;

// The block the host must send next, given what is left of the image and of the current page.
void expectedBlock(uint32_t remaining, uint32_t pageFill, uint32_t &n, uint8_t &flag)
{
    if (remaining > blockData && pageFill + blockData <= pageSize) {
        n = blockData;
        flag = 0;
    } else if (pageFill + std::min(remaining, blockData) > pageSize) {
        n = pageSize - pageFill;
        flag = 1;
    } else {
        n = remaining;
        flag = 1;
    }
}
} // namespace

Reply ProbeFirmware::imageStart(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (phase != Phase::Erased || !settings.program)
        return refuse(out, OutOfOrder, "image start outside the programming phase");
    const int i = out[2];
    if (!wire::allZero(out, 3, 60) || i != nextImage || i >= settings.fileCount)
        return refuse(out, BadLayout, "image start: wrong image number or padding");
    // Only the erase reports tell the probe where an image goes; without that it cannot place it.
    if (!regions[size_t(i)].known)
        return refuse(out, BadLayout, "image start: no region was given for this image");
    if (chip.readProtected)
        return refuse(out, Protected, "image start: chip is read-protected");

    image = std::make_unique<ImageTransfer>();
    image->index = i;
    image->region = regions[size_t(i)];
    if (settings.offline) {
        uint8_t key[24];
        uint8_t iv[16];
        std::copy(std::begin(quorvel::settingsKeyBytes), std::end(quorvel::settingsKeyBytes), key);
        std::copy(std::begin(quorvel::settingsIvBytes), std::end(quorvel::settingsIvBytes), iv);
        wire::putLe32(key, settings.timestamp);
        wire::putLe32(iv + 4, settings.timestamp);
        if (!image->cipher.start(key, iv))
            return refuse(out, BadLayout, "image start: cannot key the data cipher");
    }
    phase = Phase::InImage;
    return accept(out[1], 0);
}

Reply ProbeFirmware::dataBlock(const OutReport &out)
{
    if (!wire::blockChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (phase != Phase::InImage)
        return refuse(out, OutOfOrder, "data block outside an image");
    ImageTransfer &t = *image;
    const uint32_t remaining = t.region.length - t.received;
    if (remaining == 0)
        return refuse(out, BadLayout, "data block after the last byte of the image");
    uint32_t n = 0;
    uint8_t flag = 0;
    expectedBlock(remaining, t.pageFill, n, flag);
    if (out[2] != n || out[5] != flag)
        return refuse(out, BadLayout, "data block: wrong length or page flag");
    if (wire::le16(&out[3]) != t.nextBlock)
        return refuse(out, BadLayout, "data block: wrong block number");
    if (out[6] != t.pageFill / 4)
        return refuse(out, BadLayout, "data block: wrong word offset");
    const uint32_t carried = settings.offline ? (n + 15) / 16 * 16 : n;
    if (!wire::allZero(out, 7 + carried, 62))
        return refuse(out, BadLayout, "data block: bytes after the data are not zero");

    uint8_t plain[blockData] = {};
    if (settings.offline) {
        if (!t.cipher.decrypt(&out[7], plain, carried))
            return refuse(out, BadLayout, "data block: cannot decrypt");
        if (!std::all_of(plain + n, plain + carried, [](uint8_t b) { return b == 0; }))
            return refuse(out, BadLayout, "data block: decrypted padding is not zero");
    } else {
        std::copy_n(&out[7], n, plain);
    }
    std::copy_n(plain, n, t.page.begin() + t.pageFill);
    t.md5.update(plain, n);
    t.received += n;
    t.pageFill += n;
    t.lastBlock = t.nextBlock;
    if (flag && !programPage())
        return refuse(out, OutsideFlash, "data block: page lies outside the main flash and LDROM");
    if (t.received < t.region.length)
        ++t.nextBlock;
    return accept(out[1], 0);
}

// Programs the completed page (or the image's last, partial one) and reads it back when the job
// asks for verification. Like the chip's flash controller, it writes nothing where the chip has no
// flash: the earlier pages of the image stay written.
bool ProbeFirmware::programPage()
{
    ImageTransfer &t = *image;
    const uint32_t address = t.region.address + (t.received - t.pageFill);
    if (!quorvel::qb48Geometry.holds(address, t.pageFill))
        return false;
    flash.program(address, t.page.data(), t.pageFill);
    if (settings.verify) {
        const std::vector<uint8_t> back = flash.read(address, t.pageFill);
        if (!std::equal(back.begin(), back.end(), t.page.begin()))
            t.verifyFailed = true;
    }
    t.pageFill = 0;
    return true;
}

Reply ProbeFirmware::imageEnd(const OutReport &out)
{
    if (!wire::standardChecksumOk(out))
        return refuse(out, BadChecksum, "bad checksum");
    if (phase != Phase::InImage)
        return refuse(out, OutOfOrder, "image end outside an image");
    ImageTransfer &t = *image;
    if (out[4] != 0 || !wire::allZero(out, 21, 60))
        return refuse(out, BadLayout, "image end: padding not zero");
    if (t.received != t.region.length)
        return refuse(out, BadLayout, "image end before the whole image arrived");
    if (wire::le16(&out[2]) != t.lastBlock)
        return refuse(out, BadLayout, "image end: wrong last block number");
    const Md5Digest digest = t.md5.final();
    if (!std::equal(digest.begin(), digest.end(), &out[5]))
        return refuse(out, DigestMismatch, "image end: MD5 differs from the data received");
    if (t.verifyFailed)
        return refuse(out, VerifyFailed, "image end: flash does not hold the image");
    ++nextImage;
    image.reset();
    phase = Phase::Erased;
    return accept(out[1], 0);
}

} // namespace vprobe
