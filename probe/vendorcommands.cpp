// The vendor commands of a programming run except the image transfer (imagetransfer.cpp): chip
// detect and check, settings, erase, rolling code, finish.
#include "download.h"

#include "handlebar.h"
#include "probe/reports.h"
#include "probe/transport.h"

#include <QDateTime>
#include <algorithm>
#include <cstring>

using namespace probe;

namespace {

constexpr int retryReadMs = 200;
constexpr int detectReadMs = 200;
constexpr int checkReadMs = 2000;
constexpr int settingsReadMs = 2400;
constexpr int eraseReadMs = 400;
constexpr int rollingCodeReadMs = 16000; // the probe programs and reads back the code
constexpr int finishReadMs = 3000;
constexpr int eraseBudget = 20;
constexpr int eraseBudgetLong = 100; // offline jobs and full erase of the large QD52
constexpr int modelQb48 = 2;
constexpr int modelQd52 = 4;
constexpr uint8_t statusDetected = 4;
constexpr uint8_t statusChecked = 1;
constexpr uint8_t reconnectMarker = 5;

constexpr uint32_t lowFlashEnd = 0x0FFFFFFF; // APROM addresses; LDROM lies above
constexpr uint32_t ldromLimitFromLow = 0x2000;
constexpr uint32_t ldromLimitFromHigh = 0x10002000;

// Budget exhausted after budget + 1 timed-out reads; each miss is shown as progress so the user
// sees a slow erase moving.
bool awaitEraseReply(Download &d, int budget)
{
    int attempts = 0;
    while (!readReport(d.device, d.inReport, eraseReadMs)) {
        ++attempts;
        reportProgress(d.handleBar, attempts);
        if (attempts > budget)
            return false;
    }
    return isEchoWithStatus(d.inReport, cmd::erase, 0);
}

// Result 5 or 6 when an image would overflow the 8 KB LDROM for the boot source found, else 0.
int32_t ldromOverflow(const Download &d, uint8_t bootSource)
{
    const int files = std::clamp(d.fileCount, 0, Download::maxFiles);
    for (int i = 0; i < files; ++i) {
        const uint32_t start = d.imageAddress[i];
        const uint32_t end = start + d.imageLength[i]; // wraps like the probe's own check
        if (bootSource == 2 && start > lowFlashEnd && end > ldromLimitFromHigh)
            return 6;
        if (bootSource == 1 && start <= lowFlashEnd && end > ldromLimitFromLow)
            return 5;
    }
    return 0;
}

int32_t chipModel(const Download &d)
{
    return d.chip ? d.chip->model : 0;
}

} // namespace

// 0x94. 0 device found (ChipRecord deviceId set); -1 transport failure; -2 the probe asks to be
// reconnected (second reply starts with 5); -3 device id read as 0.
int32_t Download::detectChip()
{
    std::memset(inReport, 0, sizeof inReport);
    buildChipDetect(outReport, offlineForceProgram_flag);
    if (!writeReport(device, outReport))
        return -1;
    const bool first = readReport(device, inReport, detectReadMs);
    if (!first || !isEchoWithStatus(inReport, cmd::chipDetect, statusDetected)) {
        if (!readReport(device, inReport, retryReadMs))
            return -1;
        if (inReport[0] == reconnectMarker)
            return -2;
    }
    const uint32_t id = getLe32(inReport + 2);
    if (chip)
        chip->deviceId = id;
    return id == 0 ? -3 : 0;
}

// 0x95. 0 ok; -1 transport failure; 3 the probe found another chip model; 4 read-protected chip
// without full erase; 5 chip boots from LDROM and a low image runs past 8 KB; 6 chip boots from
// APROM and an LDROM image runs past 8 KB; 7 chip detection error.
int32_t Download::checkChip()
{
    std::memset(inReport, 0, sizeof inReport);
    const int32_t model = chipModel(*this);
    buildChipCheck(outReport, model);
    if (!writeReport(device, outReport))
        return -1;
    if (!readReport(device, inReport, checkReadMs)
        || !isEchoWithStatus(inReport, cmd::chipCheck, statusChecked)) {
        if (!readReport(device, inReport, retryReadMs)
            || !isEchoWithStatus(inReport, cmd::chipCheck, statusChecked))
            return -1;
    }
    if (inReport[2] != model)
        return 3;
    if ((inReport[3] & 0xF0) == 0xA0)
        return 7;
    if (model == modelQb48) {
        const int32_t overflow = ldromOverflow(*this, inReport[3] & 0x0F);
        if (overflow != 0)
            return overflow;
    }
    if (inReport[4] == 1)
        return eraseMode != 0 ? 4 : 0;
    return 0;
}

// 0x9E: the job, AES-192-CBC encrypted. Sets `timestamp`, from which offline data keys derive.
// 0, or -1 on a transport failure, a refused reply or a crypto failure.
int32_t Download::sendSettings()
{
    std::memset(inReport, 0, sizeof inReport);
    timestamp = static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch());
    SettingsFields f;
    f.fileCount = fileCount;
    f.model = chipModel(*this);
    f.eraseMode = eraseMode;
    f.programEnabled = programEnabled;
    f.verifyEnabled = verifyEnabled;
    f.resetAndRun = resetAndRun;
    f.offline = offline_flag;
    f.maxProgramCountFlag = offlineMaxProgramCount_flag;
    f.autoProgramTimeFlag = offlineAutoProgramTime_flag;
    f.maxProgramCount = offlineMaxProgramCount;
    f.autoProgramTime = offlineAutoProgramTime;
    f.timestamp = timestamp;
    f.readProtectLevel = readProtectLevel;
    f.watchdogOption = watchdogOption;
    f.machineFlag = offlineMachine_flag;
    f.settingsFlag = settingsFlag;
    if (!buildSettings(outReport, f, aes, settingsKey, settingsIv))
        return -1;
    if (!exchange(device, outReport, inReport, settingsReadMs))
        return -1;
    return isEchoWithStatus(inReport, cmd::settings, 0) ? 0 : -1;
}

// 0x96: erase mode and the image regions (seven per report; sector erase of more images needs a
// second report). Progress: 0, then the count of timed-out reads, 100 after a second report.
// 0, or -1 on a transport failure, a refused reply or an exhausted wait.
int32_t Download::eraseFlash()
{
    std::memset(inReport, 0, sizeof inReport);
    reportProgress(handleBar, 0);
    const int n = std::clamp(fileCount, 0, maxFiles);
    const bool longWait = offline_flag == 1 || (chipModel(*this) == modelQd52 && eraseMode == 0);
    const int budget = longWait ? eraseBudgetLong : eraseBudget;

    buildEraseFirst(outReport, eraseMode, imageAddress, imageLength, n);
    if (!writeReport(device, outReport) || !awaitEraseReply(*this, budget))
        return -1;
    if (eraseMode != 1 || n <= eraseEntriesMax)
        return 0;

    buildEraseSecond(outReport, imageAddress + eraseEntriesMax, imageLength + eraseEntriesMax,
                     n - eraseEntriesMax);
    if (!writeReport(device, outReport) || !awaitEraseReply(*this, budget))
        return -1;
    reportProgress(handleBar, 100);
    return 0;
}

// 0x9A: the probe writes the rolling code and advances it. 0 on the 0xBB reply, else -1.
int32_t Download::writeRollingCode()
{
    std::memset(inReport, 0, sizeof inReport);
    buildRollingCode(outReport, rollingCodeAddress, rollingCodeValue, rollingCodeStep);
    if (!exchange(device, outReport, inReport, rollingCodeReadMs))
        return -1;
    return isEchoWithStatus(inReport, cmd::rollingCode, 0xBB) ? 0 : -1;
}

// 0x9F: ends the job (reset, protection). 0 only on the reply 9F AA 00, else -1.
int32_t Download::finishJob()
{
    std::memset(inReport, 0, sizeof inReport);
    buildFinish(outReport);
    if (!exchange(device, outReport, inReport, finishReadMs))
        return -1;
    return isEchoWithStatus(inReport, cmd::finish, 0xAA) && inReport[2] == 0x00 ? 0 : -1;
}
