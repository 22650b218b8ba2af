// Construction and destruction of the job record; copying is member-wise (see the header).
#include "download.h"

#include "probe/settingskey.h"

#include <QDebug>
#include <cstring>

Download::Download()
    : chip(nullptr)
    , eraseMode(0)
    , programEnabled(0)
    , verifyEnabled(0)
    , resetAndRun(0)
    , readProtectLevel(0)
    , rollingCodeValue(0)
    , rollingCodeAddress(0)
    , rollingCodeStep(0)
    , watchdogOption(0)
    , fileCount(0)
    , vendorId(0x0D28)
    , productId(0x0204)
    , device(nullptr)
    , connected(0)
    , settingsFlag(1)
    , offline_flag(0)
    , offlineMaxProgramCount_flag(0)
    , offlineAutoProgramTime_flag(0)
    , offlineMaxProgramCount(0)
    , offlineAutoProgramTime(0)
    , offlineMachine_flag(0)
    , offlineForceProgram_flag(0)
    , probeId(0)
    , timestamp(0)
    , md5Address(0)
    , md5Size(0)
    , crcAddress(0)
    , crcSize(0)
    , crcValue(0)
    , result(0)
    , handleBar(nullptr)
{
    for (int i = 0; i < maxFiles; ++i) {
        fileTime[i] = 0;
        imageData[i] = nullptr;
        imageLength[i] = 0;
        fileSize[i] = 0;
        imageAddress[i] = 0;
        nameItem[i] = nullptr;
        addressItem[i] = nullptr;
        sizeItem[i] = nullptr;
        fileCrc[i] = 0;
    }
    std::memset(inReport, 0, sizeof inReport);
    std::memset(outReport, 0, sizeof outReport);
    std::memset(firmwareInfo, 0, sizeof firmwareInfo);
    std::memset(md5Digest, 0, sizeof md5Digest);
    // Zeroed once here; every use initialises, keys and releases the context itself, so what a
    // copy carries of an earlier use is never read.
    std::memset(&aes, 0, sizeof aes);

    std::memcpy(settingsKey, quorvel::settingsKeyBytes, sizeof settingsKey);
    std::memcpy(settingsIv, quorvel::settingsIvBytes, sizeof settingsIv);
    std::memset(dataKey, 0, sizeof dataKey);
    std::memset(dataIv, 0, sizeof dataIv);

    qDebug() << "Download";
}

Download::~Download()
{
    qDebug() << "~Download";
}

void registerDownloadMetaType()
{
    qRegisterMetaType<Download>("Download");
    qRegisterMetaType<Download>("Download&");
}
