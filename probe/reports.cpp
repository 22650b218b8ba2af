// Request layouts and checksums of the probe commands; see reports.h.
#include "reports.h"

#include <algorithm>
#include <cstring>

#include <wolfssl/wolfcrypt/md5.h>

namespace probe {

namespace {

constexpr int checksumFirst = 1;
constexpr int standardSumLast = 60;
constexpr int blockSumLast = 62;
constexpr int blockDataOffset = 7;
constexpr int aesBlock = 16;

uint8_t low(int32_t value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

void putRegions(uint8_t *out, const uint32_t *addresses, const uint32_t *lengths, int count)
{
    for (int j = 0; j < count; ++j) {
        putLe32(out + 5 + 8 * j, addresses[j]);
        putLe32(out + 9 + 8 * j, lengths[j]);
    }
}

void buildErase(uint8_t *out, uint8_t byte2, uint8_t byte3, uint8_t marker,
                const uint32_t *addresses, const uint32_t *lengths, int count)
{
    clearReport(out);
    out[1] = cmd::erase;
    out[2] = byte2;
    out[3] = byte3;
    out[4] = marker;
    putRegions(out, addresses, lengths, count);
    putStandardChecksum(out);
}

int clampEntries(int count)
{
    return std::clamp(count, 0, eraseEntriesMax);
}

} // namespace

void putLe16(uint8_t *at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putLe32(uint8_t *at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<uint8_t>(value >> (8 * k));
}

uint32_t getLe32(const uint8_t *at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint32_t byteSum(const uint8_t *bytes, int count)
{
    uint32_t sum = 0;
    for (int k = 0; k < count; ++k)
        sum += bytes[k];
    return sum;
}

void clearReport(uint8_t *report)
{
    std::memset(report, 0, reportSize);
}

void putStandardChecksum(uint8_t *report)
{
    putLe32(report + standardSumLast + 1,
            byteSum(report + checksumFirst, standardSumLast - checksumFirst + 1));
}

void putBlockChecksum(uint8_t *report)
{
    const uint32_t sum = byteSum(report + checksumFirst, blockSumLast - checksumFirst + 1);
    putLe16(report + blockSumLast + 1, static_cast<uint16_t>(sum));
}

bool isEcho(const uint8_t *reply, uint8_t command)
{
    return reply[0] == command;
}

bool isEchoWithStatus(const uint8_t *reply, uint8_t command, uint8_t status)
{
    return reply[0] == command && reply[1] == status;
}

bool replySumMatches(const uint8_t *reply, int count)
{
    return getLe32(reply + count) == byteSum(reply, count);
}

void buildDapInfo(uint8_t *out, uint8_t id)
{
    clearReport(out);
    out[1] = cmd::dapInfo;
    out[2] = id;
}

void buildChipDetect(uint8_t *out, int32_t forceProgram)
{
    clearReport(out);
    out[1] = cmd::chipDetect;
    out[2] = low(forceProgram);
}

void buildChipCheck(uint8_t *out, int32_t model)
{
    clearReport(out);
    out[1] = cmd::chipCheck;
    out[2] = low(model);
}

bool buildSettings(uint8_t *out, const SettingsFields &f, Aes &aes, const uint8_t *key24,
                   const uint8_t *iv16)
{
    clearReport(out);
    out[1] = cmd::settings;
    out[2] = low(f.fileCount);
    out[3] = low(f.model);
    out[4] = low(f.eraseMode);
    out[5] = low(f.programEnabled);
    out[6] = low(f.verifyEnabled);
    out[7] = low(f.resetAndRun);
    out[8] = low(f.offline);
    out[9] = low(f.maxProgramCountFlag);
    out[10] = low(f.autoProgramTimeFlag);
    putLe32(out + 12, f.maxProgramCount);
    putLe32(out + 16, f.autoProgramTime);
    putLe32(out + 20, f.timestamp);
    out[24] = low(f.readProtectLevel);
    out[25] = low(f.watchdogOption);
    out[26] = low(f.machineFlag);
    out[27] = f.settingsFlag;

    uint8_t *cipher = out + settingsCipherOffset;
    if (wc_AesInit(&aes, nullptr, INVALID_DEVID) != 0)
        return false;
    const bool encrypted = wc_AesSetKey(&aes, key24, 24, iv16, AES_ENCRYPTION) == 0
        && wc_AesCbcEncrypt(&aes, cipher, cipher, settingsCipherLength) == 0;
    wc_AesFree(&aes);
    if (!encrypted)
        return false;
    putStandardChecksum(out);
    return true;
}

void buildEraseFirst(uint8_t *out, int32_t eraseMode, const uint32_t *addresses,
                     const uint32_t *lengths, int count)
{
    const int k = clampEntries(count);
    buildErase(out, low(eraseMode), static_cast<uint8_t>(k), 0xAA, addresses, lengths, k);
}

void buildEraseSecond(uint8_t *out, const uint32_t *addresses, const uint32_t *lengths, int count)
{
    const int k = clampEntries(count);
    buildErase(out, static_cast<uint8_t>(k), 0x01, 0x55, addresses, lengths, k);
}

void buildImageStart(uint8_t *out, int index)
{
    clearReport(out);
    out[1] = cmd::imageStart;
    out[2] = low(index);
    putStandardChecksum(out);
}

BlockStep nextBlock(uint32_t remaining, uint32_t pageFill)
{
    const uint32_t pageLeft = pageSize - pageFill;
    if (remaining > blockDataMax)
        return pageFill + blockDataMax <= pageSize ? BlockStep{blockDataMax, 0}
                                                   : BlockStep{pageLeft, 1};
    if (pageFill + remaining > pageSize)
        return {pageLeft, 1};
    return {remaining, 1};
}

uint32_t blockCount(uint32_t imageLength)
{
    const uint32_t blocksPerPage = (pageSize + blockDataMax - 1) / blockDataMax;
    const uint32_t tail = imageLength % pageSize;
    return imageLength / pageSize * blocksPerPage + (tail + blockDataMax - 1) / blockDataMax;
}

bool buildDataBlock(uint8_t *out, const uint8_t *data, uint32_t length, uint16_t blockNumber,
                    uint8_t pageEnd, uint32_t pageFill, Aes *chain)
{
    if (length > blockDataMax)
        return false;
    clearReport(out);
    out[1] = cmd::dataBlock;
    out[2] = static_cast<uint8_t>(length);
    putLe16(out + 3, blockNumber);
    out[5] = pageEnd;
    out[6] = static_cast<uint8_t>(pageFill / 4);
    std::memcpy(out + blockDataOffset, data, length);
    if (chain) {
        // The zeros after the data pad the last cipher block.
        const uint32_t padded = (length + aesBlock - 1) / aesBlock * aesBlock;
        uint8_t *cipher = out + blockDataOffset;
        if (wc_AesCbcEncrypt(chain, cipher, cipher, padded) != 0)
            return false;
    }
    putBlockChecksum(out);
    return true;
}

void buildImageEnd(uint8_t *out, uint16_t lastBlock, const uint8_t *digest16)
{
    clearReport(out);
    out[1] = cmd::imageEnd;
    putLe16(out + 2, lastBlock);
    std::memcpy(out + 5, digest16, 16);
    putStandardChecksum(out);
}

void deriveDataKey(const uint8_t *settingsKey24, const uint8_t *settingsIv16, uint32_t timestamp,
                   uint8_t *dataKey24, uint8_t *dataIv16)
{
    std::memcpy(dataKey24, settingsKey24, 24);
    std::memcpy(dataIv16, settingsIv16, 16);
    putLe32(dataKey24, timestamp);
    putLe32(dataIv16 + 4, timestamp);
}

void buildRollingCode(uint8_t *out, uint32_t address, uint32_t value, uint32_t step)
{
    clearReport(out);
    out[1] = cmd::rollingCode;
    putLe32(out + 5, address);
    putLe32(out + 9, value);
    putLe32(out + 13, step);
    putStandardChecksum(out);
}

void buildFinish(uint8_t *out)
{
    clearReport(out);
    out[1] = cmd::finish;
    putStandardChecksum(out);
}

void buildOfflineErase(uint8_t *out)
{
    for (int k = 0; k < reportSize; ++k)
        out[k] = static_cast<uint8_t>(k);
    out[1] = cmd::offlineErase;
    putStandardChecksum(out);
}

void buildVerify(uint8_t *out, int32_t model, uint32_t address, uint32_t length,
                 const uint8_t *digest16)
{
    clearReport(out);
    out[1] = cmd::verify;
    out[2] = low(model);
    putLe32(out + 3, address);
    putLe32(out + 7, length);
    std::memcpy(out + 11, digest16, 16);
    putStandardChecksum(out);
}

void buildFlashDigestRequest(uint8_t *out, uint8_t command, int32_t model, uint32_t address,
                             uint32_t size)
{
    clearReport(out);
    out[1] = command;
    out[2] = low(model);
    putLe32(out + 3, address);
    putLe32(out + 7, size);
    putStandardChecksum(out);
}

int flashDigestTimeoutMs(uint32_t size)
{
    return static_cast<int>(((size >> 12) + 1) * 200);
}

bool computeMd5(const uint8_t *data, uint32_t length, uint8_t *digest16)
{
    wc_Md5 md5;
    if (wc_InitMd5(&md5) != 0)
        return false;
    const bool ok =
        (length == 0 || wc_Md5Update(&md5, data, length) == 0) && wc_Md5Final(&md5, digest16) == 0;
    wc_Md5Free(&md5);
    return ok;
}

} // namespace probe
