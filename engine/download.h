// The one job record: job options, the ten file slots, the probe connection, crypto material and
// the read-back parameters. A programming run works on a copy made by the queued hand-over.
#pragma once

#include "chiprecord.h"

#include <QMetaType>
#include <QString>
#include <cstdint>

#include <hidapi/hidapi.h>
#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/aes.h>

class HandleBar;
class QTableWidgetItem;

class Download
{
public:
    static constexpr int maxFiles = 10;
    static constexpr uint32_t imageBufferSize = 0x400000; // one slot's image buffer (4 MiB)
    static constexpr int reportSize = 65; // report id byte + 64-byte HID report

    Download();
    Download(const Download &other) = default; // no "Download" line: shares pointers by design
    Download &operator=(const Download &other) = default;
    ~Download();

    // Probe connection (probe/connection.cpp); codes documented there. dapInfo's `buffer` must
    // hold 64 bytes.
    int32_t toggleConnection();
    int32_t dapInfo(uint8_t id, uint8_t *buffer, uint8_t *length);

    // Vendor programming commands (probe/vendorcommands.cpp, probe/imagetransfer.cpp); codes
    // documented there.
    int32_t detectChip();
    int32_t checkChip();
    int32_t sendSettings();
    int32_t eraseFlash();
    int32_t programImage(int i);
    int32_t writeRollingCode();
    int32_t finishJob();

    // The programming sequence (engine/programming.cpp): stores and returns result code 0..13.
    int32_t runProgramming();

    // Read-back services (engine/readback.cpp); codes documented there.
    int32_t offlineErase();
    int32_t verifyImages();
    int32_t readMd5();
    int32_t readCrc32();

    // Images (images/loadimage.cpp, images/crc32.cpp).
    int loadImageFile(const QString &path, int i);
    int calcFileCrc32();

    ChipRecord *chip;
    int32_t eraseMode; // 0 full, 1 sector (image regions only), 2 do not erase
    int32_t programEnabled;
    int32_t verifyEnabled;
    int32_t resetAndRun;
    int32_t readProtectLevel;
    uint32_t rollingCodeValue;
    uint32_t rollingCodeAddress; // 0 = no rolling code
    uint32_t rollingCodeStep;
    int32_t watchdogOption; // 0 leave alone, 0xA8 on, 0x55 off
    int32_t fileCount;
    QString fileName[maxFiles];
    qint64 fileTime[maxFiles];
    QString filePath[maxFiles];
    uint8_t *imageData[maxFiles];
    uint32_t imageLength[maxFiles];
    uint32_t fileSize[maxFiles];
    uint32_t imageAddress[maxFiles];
    QTableWidgetItem *nameItem[maxFiles];
    QTableWidgetItem *addressItem[maxFiles];
    QTableWidgetItem *sizeItem[maxFiles];
    uint16_t vendorId;
    uint16_t productId;
    hid_device *device;
    int32_t connected;
    uint8_t inReport[reportSize];
    uint8_t outReport[reportSize];
    uint8_t firmwareInfo[16];
    uint8_t settingsFlag;
    int32_t offline_flag;
    int32_t offlineMaxProgramCount_flag;
    int32_t offlineAutoProgramTime_flag;
    uint32_t offlineMaxProgramCount;
    uint32_t offlineAutoProgramTime;
    int32_t offlineMachine_flag;
    int32_t offlineForceProgram_flag;
    uint32_t probeId; // 0 until a probe is identified: passes every firmware gate
    uint32_t timestamp;
    Aes aes;
    uint8_t settingsKey[24];
    uint8_t settingsIv[16];
    uint8_t dataKey[24];
    uint8_t dataIv[16];
    uint32_t md5Address;
    uint32_t md5Size;
    uint8_t md5Digest[16];
    uint32_t crcAddress;
    uint32_t crcSize;
    uint32_t crcValue;
    uint32_t fileCrc[maxFiles];
    int32_t result;
    HandleBar *handleBar;
};

Q_DECLARE_METATYPE(Download)

// Registers "Download" and the alias "Download&" that the queued downloadOperate(Download &) needs.
void registerDownloadMetaType();
