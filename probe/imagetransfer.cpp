// Streaming one image to the probe: image start, data blocks, image end with the image's MD5.
#include "download.h"

#include "handlebar.h"
#include "probe/reports.h"
#include "probe/transport.h"

#include <cstring>

#include <wolfssl/wolfcrypt/md5.h>

using namespace probe;

namespace {

constexpr int imageStartReadMs = 200;
constexpr int blockReadMs = 1000; // the probe may write a whole page before it answers
constexpr int imageEndReadMs = 200;

class Md5
{
public:
    Md5() { ok = wc_InitMd5(&ctx) == 0; }
    ~Md5() { wc_Md5Free(&ctx); }
    Md5(const Md5 &) = delete;
    Md5 &operator=(const Md5 &) = delete;

    void add(const uint8_t *data, uint32_t length)
    {
        ok = ok && wc_Md5Update(&ctx, data, length) == 0;
    }
    bool finish(uint8_t *digest16) { return ok && wc_Md5Final(&ctx, digest16) == 0; }

private:
    wc_Md5 ctx;
    bool ok;
};

// The record's cipher context, initialised for one image and released after it, whatever way the
// image ends: a library built with hardware or asynchronous back ends holds resources in it.
class ImageCipher
{
public:
    explicit ImageCipher(Aes &aes)
        : aes(aes)
    {
        ok = wc_AesInit(&aes, nullptr, INVALID_DEVID) == 0;
    }
    ~ImageCipher()
    {
        if (ok)
            wc_AesFree(&aes);
    }
    ImageCipher(const ImageCipher &) = delete;
    ImageCipher &operator=(const ImageCipher &) = delete;

    bool key(const uint8_t *key24, const uint8_t *iv16)
    {
        return ok && wc_AesSetKey(&aes, key24, 24, iv16, AES_ENCRYPTION) == 0;
    }

private:
    Aes &aes;
    bool ok;
};

// Sends every data block of image i; `lastBlock` receives the number of the last one.
bool sendBlocks(Download &d, int i, Md5 &md5, Aes *chain, uint16_t &lastBlock)
{
    const uint32_t length = d.imageLength[i];
    const uint8_t *data = d.imageData[i];
    uint32_t offset = 0;
    uint32_t pageFill = 0;
    uint16_t block = 0;
    while (offset < length) {
        const BlockStep step = nextBlock(length - offset, pageFill);
        md5.add(data + offset, step.length);
        if (!buildDataBlock(d.outReport, data + offset, step.length, block, step.pageEnd, pageFill,
                            chain)
            || !exchange(d.device, d.outReport, d.inReport, blockReadMs)
            || !isEchoWithStatus(d.inReport, cmd::dataBlock, 0))
            return false;
        offset += step.length;
        pageFill = (pageFill + step.length) % pageSize;
        reportProgress(d.handleBar, static_cast<int>(uint64_t(offset) * 100 / length));
        if (offset < length)
            ++block;
    }
    lastBlock = block;
    return true;
}

// The block number is 16 bits: a longer image would wrap it and overwrite the start of the chip.
bool transferable(const Download &d, int i)
{
    if (i < 0 || i >= Download::maxFiles)
        return false;
    if (d.imageLength[i] > 0 && !d.imageData[i])
        return false;
    return blockCount(d.imageLength[i]) <= maxBlocksPerImage;
}

} // namespace

// 0x97, 0x98 per block, 0x99. Progress 0, then per block the share sent, 100 at the end.
// 0, or -1 on a transport failure, a refused reply or a crypto failure; -1 also, before any
// traffic, for an index outside the slots, a missing buffer or an image of more than 65536
// blocks (about 2.9 MiB).
int32_t Download::programImage(int i)
{
    if (!transferable(*this, i))
        return -1;
    std::memset(inReport, 0, sizeof inReport);
    reportProgress(handleBar, 0);
    Md5 md5;

    Aes *chain = nullptr;
    ImageCipher cipher(aes);
    if (offline_flag == 1) {
        deriveDataKey(settingsKey, settingsIv, timestamp, dataKey, dataIv);
        if (!cipher.key(dataKey, dataIv))
            return -1;
        chain = &aes;
    }

    buildImageStart(outReport, i);
    if (!exchange(device, outReport, inReport, imageStartReadMs)
        || !isEchoWithStatus(inReport, cmd::imageStart, 0))
        return -1;

    uint16_t lastBlock = noBlockSent;
    if (imageLength[i] > 0 && !sendBlocks(*this, i, md5, chain, lastBlock))
        return -1;

    uint8_t digest[16];
    if (!md5.finish(digest))
        return -1;
    buildImageEnd(outReport, lastBlock, digest);
    if (!exchange(device, outReport, inReport, imageEndReadMs)
        || !isEchoWithStatus(inReport, cmd::imageEnd, 0))
        return -1;
    reportProgress(handleBar, 100);
    return 0;
}
