// Byte layouts of every request the host sends to the probe, with their checksums and the reply
// tests they need. Pure functions on 65-byte output reports (byte 0 = HID report id).
#pragma once

#include <cstdint>

#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/aes.h>

namespace probe {

constexpr int reportSize = 65; // report id byte + 64-byte HID report
constexpr int replySize = 64; // input reports carry no report id
constexpr int infoDataMax = replySize - 2; // DAP_Info data after the echo and length bytes
constexpr uint32_t blockDataMax = 48; // bytes of image data one 0x98 report carries
constexpr uint32_t pageSize = 1024; // the probe writes flash page by page
constexpr uint32_t maxBlocksPerImage = 0x10000; // the block number on the wire is 16 bits
constexpr uint16_t noBlockSent = 0xFFFF; // image end of an empty image

namespace cmd {
constexpr uint8_t dapInfo = 0x00;
constexpr uint8_t readCrc32 = 0x8F;
constexpr uint8_t readMd5 = 0x91;
constexpr uint8_t offlineErase = 0x92;
constexpr uint8_t verify = 0x93;
constexpr uint8_t chipDetect = 0x94;
constexpr uint8_t chipCheck = 0x95;
constexpr uint8_t erase = 0x96;
constexpr uint8_t imageStart = 0x97;
constexpr uint8_t dataBlock = 0x98;
constexpr uint8_t imageEnd = 0x99;
constexpr uint8_t rollingCode = 0x9A;
constexpr uint8_t settings = 0x9E;
constexpr uint8_t finish = 0x9F;
} // namespace cmd

void putLe16(uint8_t *at, uint16_t value);
void putLe32(uint8_t *at, uint32_t value);
uint32_t getLe32(const uint8_t *at);
uint32_t byteSum(const uint8_t *bytes, int count);

void clearReport(uint8_t *report);
// Sum of bytes 1..60 into bytes 61..64; computed after any encryption.
void putStandardChecksum(uint8_t *report);
// Data blocks only: low 16 bits of the sum of bytes 1..62 into bytes 63..64.
void putBlockChecksum(uint8_t *report);

// Replies: byte 0 echoes the command, byte 1 is the status.
bool isEcho(const uint8_t *reply, uint8_t command);
bool isEchoWithStatus(const uint8_t *reply, uint8_t command, uint8_t status);
// Read-back replies carry the sum of their first `count` bytes right after them.
bool replySumMatches(const uint8_t *reply, int count);

void buildDapInfo(uint8_t *out, uint8_t id);
void buildChipDetect(uint8_t *out, int32_t forceProgram);
void buildChipCheck(uint8_t *out, int32_t model);

// The job as the settings report carries it; one-byte entries take the low byte.
struct SettingsFields
{
    int32_t fileCount = 0;
    int32_t model = 0;
    int32_t eraseMode = 0;
    int32_t programEnabled = 0;
    int32_t verifyEnabled = 0;
    int32_t resetAndRun = 0;
    int32_t offline = 0;
    int32_t maxProgramCountFlag = 0;
    int32_t autoProgramTimeFlag = 0;
    uint32_t maxProgramCount = 0;
    uint32_t autoProgramTime = 0;
    uint32_t timestamp = 0;
    int32_t readProtectLevel = 0;
    int32_t watchdogOption = 0;
    int32_t machineFlag = 0;
    uint8_t settingsFlag = 0;
};
constexpr int settingsCipherOffset = 2;
constexpr int settingsCipherLength = 32;
// Lays out the settings, encrypts bytes 2..33 with a context initialised, keyed from key/iv and
// released here, then adds the checksum. False only when the crypto library refuses.
bool buildSettings(uint8_t *out, const SettingsFields &fields, Aes &aes, const uint8_t *key24,
                   const uint8_t *iv16);

// Erase regions: one report holds at most seven 8-byte entries.
constexpr int eraseEntriesMax = 7;
void buildEraseFirst(uint8_t *out, int32_t eraseMode, const uint32_t *addresses,
                     const uint32_t *lengths, int count);
// Sector erase of the images beyond the seventh.
void buildEraseSecond(uint8_t *out, const uint32_t *addresses, const uint32_t *lengths, int count);

void buildImageStart(uint8_t *out, int index);

// Next data block of an image: 48 bytes at a time, never crossing a 1024-byte page; pageEnd marks
// the block that completes a page or ends the image.
struct BlockStep
{
    uint32_t length;
    uint8_t pageEnd;
};
BlockStep nextBlock(uint32_t remaining, uint32_t pageFill);
// Number of 0x98 reports an image of `imageLength` bytes needs.
uint32_t blockCount(uint32_t imageLength);
// One data block; with a `chain` the data (rounded up to 16 bytes) is encrypted, continuing that
// context's CBC chain. False for a length over 48 or a crypto failure.
bool buildDataBlock(uint8_t *out, const uint8_t *data, uint32_t length, uint16_t blockNumber,
                    uint8_t pageEnd, uint32_t pageFill, Aes *chain);
void buildImageEnd(uint8_t *out, uint16_t lastBlock, const uint8_t *digest16);

// Offline image data key: the settings key with bytes 0..3, and the IV with bytes 4..7, replaced
// by the run's timestamp, so every run encrypts differently.
void deriveDataKey(const uint8_t *settingsKey24, const uint8_t *settingsIv16, uint32_t timestamp,
                   uint8_t *dataKey24, uint8_t *dataIv16);

void buildRollingCode(uint8_t *out, uint32_t address, uint32_t value, uint32_t step);
void buildFinish(uint8_t *out);

// Fixed report: byte k = k, command in byte 1, checksum always B7 07 00 00.
void buildOfflineErase(uint8_t *out);
void buildVerify(uint8_t *out, int32_t model, uint32_t address, uint32_t length,
                 const uint8_t *digest16);
// 0x91 (MD5) and 0x8F (CRC-32) of a flash range share one layout.
void buildFlashDigestRequest(uint8_t *out, uint8_t command, int32_t model, uint32_t address,
                             uint32_t size);
// The probe reads flash at about 4 KB per 200 ms.
int flashDigestTimeoutMs(uint32_t size);

// MD5 of a whole buffer (null is fine for length 0). False on a crypto failure.
bool computeMd5(const uint8_t *data, uint32_t length, uint8_t *digest16);

} // namespace probe
