// Command dispatch of the emulated firmware, DAP_Info, and the chip detect and chip check.
#include "firmware.h"

#include <cstdio>

namespace vprobe {

namespace {
constexpr uint8_t invalidCommand = 0xFF; // CMSIS-DAP's answer to a command it does not know
constexpr uint8_t detectStatus = 4;
constexpr uint8_t checkStatus = 1;
constexpr uint8_t detectionErrorNibble = 0xA0;
} // namespace

const ProbeFirmware::Command ProbeFirmware::commandTable[] = {
    {0x00, &ProbeFirmware::dapInfo},      {0x94, &ProbeFirmware::chipDetect},
    {0x95, &ProbeFirmware::chipCheck},    {0x9E, &ProbeFirmware::jobSettings},
    {0x96, &ProbeFirmware::erase},        {0x97, &ProbeFirmware::imageStart},
    {0x98, &ProbeFirmware::dataBlock},    {0x99, &ProbeFirmware::imageEnd},
    {0x9A, &ProbeFirmware::rollingCode},  {0x9F, &ProbeFirmware::finish},
    {0x92, &ProbeFirmware::offlineErase}, {0x93, &ProbeFirmware::verifyRange},
    {0x91, &ProbeFirmware::digestRange},  {0x8F, &ProbeFirmware::digestRange},
};

Reply ProbeFirmware::process(const OutReport &out)
{
    if (!chipAttached && out[1] != 0x00 && out[1] != 0x94 && out[1] >= 0x80)
        return refuse(out, NoTarget, "no chip attached");
    for (const Command &c : commandTable) {
        if (c.id == out[1])
            return (this->*c.handler)(out);
    }
    Reply reply(inReportSize, 0);
    reply[0] = invalidCommand;
    return reply;
}

Reply ProbeFirmware::accept(uint8_t command, uint8_t status)
{
    Reply reply(inReportSize, 0);
    reply[0] = command;
    reply[1] = status;
    return reply;
}

Reply ProbeFirmware::refuse(const OutReport &out, uint8_t status, const char *why)
{
    char text[96];
    std::snprintf(text, sizeof text, "0x%02X: %s", out[1], why);
    refusalText = text;
    // A firmware that rejects part of a job drops the whole job.
    phase = Phase::Idle;
    image.reset();
    return accept(out[1], status);
}

bool ProbeFirmware::readyToEnd() const
{
    const bool erased = phase == Phase::Erased || (phase == Phase::Configured && !eraseNeeded());
    return erased && (!settings.program || nextImage == settings.fileCount);
}

void ProbeFirmware::powerCycle()
{
    phase = Phase::Idle;
    image.reset();
}

void ProbeFirmware::factoryReset()
{
    powerCycle();
    identity = ProbeIdentity{};
    chip = ChipState{};
    chipAttached = true;
    flash.eraseAll();
    settings = Settings{};
    regions = {};
    nextImage = 0;
    rollingWritten = false;
    rolling = RollingCode{};
    settingsValid = false;
    offlineStored = false;
    refusalText.clear();
}

VirtualProbe::StoredJob ProbeFirmware::storedJob() const
{
    VirtualProbe::StoredJob job;
    job.valid = settingsValid;
    job.plainSettings = settings.plain;
    job.rollingCodeNext = rolling.next;
    job.offlineJobStored = offlineStored;
    job.rollingCodeActive = rolling.active;
    job.rollingCodeAddress = rolling.address;
    job.rollingCodeFirst = rolling.first;
    job.rollingCodeStep = rolling.step;
    return job;
}

// DAP_Info: the two vendor ids the host reads, plus the packet geometry every CMSIS-DAP reports.
// Unknown ids get length 0, as the standard asks; a request with bytes after the id is refused.
Reply ProbeFirmware::dapInfo(const OutReport &out)
{
    Reply reply(inReportSize, 0);
    // Nothing follows the id; a request with more is not DAP_Info as the host sends it.
    if (!wire::allZero(out, 3, 64)) {
        refusalText = "0x00: DAP_Info: unexpected bytes after the id";
        reply[0] = invalidCommand;
        return reply;
    }
    reply[0] = 0x00;
    uint8_t length = 0;
    switch (out[2]) {
    case 0xA0:
        wire::putLe32(&reply[2], identity.probeId);
        length = 4;
        break;
    case 0xA1:
        std::copy(identity.firmwareInfo.begin(), identity.firmwareInfo.end(), &reply[2]);
        length = uint8_t(identity.firmwareInfo.size());
        break;
    case 0xFE: // packet size
        reply[2] = uint8_t(inReportSize);
        length = 2;
        break;
    case 0xFF: // packet count
        reply[2] = 1;
        length = 1;
        break;
    default:
        break;
    }
    reply[1] = identity.infoLengthByte >= 0 ? uint8_t(identity.infoLengthByte) : length;
    return reply;
}

// 0x94: byte 2 is the force flag; the probe answers status 4 and the device id it read, 0 when no
// chip answers its debug port. A new chip detect starts a new conversation.
Reply ProbeFirmware::chipDetect(const OutReport &out)
{
    if (out[2] > 1 || !wire::allZero(out, 3, 64))
        return refuse(out, BadLayout, "chip detect: unexpected bytes");
    image.reset();
    phase = Phase::Detected;
    Reply reply = accept(out[1], detectStatus);
    wire::putLe32(&reply[2], chipAttached ? chip.deviceId : 0);
    return reply;
}

// 0x95: byte 2 is the model the host expects; the probe reports the model it found, the boot source
// (with the detection-error nibble) and the read-protection state.
Reply ProbeFirmware::chipCheck(const OutReport &out)
{
    if (phase != Phase::Detected && phase != Phase::Checked)
        return refuse(out, OutOfOrder, "chip check before chip detect");
    if (out[2] > 5 || !wire::allZero(out, 3, 64))
        return refuse(out, BadLayout, "chip check: unexpected bytes");
    phase = Phase::Checked;
    Reply reply = accept(out[1], checkStatus);
    reply[2] = uint8_t(chip.model);
    reply[3] = uint8_t((chip.bootSource & 0x0F) | (chip.detectionError ? detectionErrorNibble : 0));
    reply[4] = chip.readProtected ? 1 : 0;
    return reply;
}

} // namespace vprobe
