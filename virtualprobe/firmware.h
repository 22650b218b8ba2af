// The emulated probe firmware: one report in, one reply out, dispatched through a command table
// the way a CMSIS-DAP firmware does it, with a simulated target chip and its flash behind it.
#pragma once

#include "probecrypto.h"
#include "targetflash.h"
#include "virtualprobe.h"
#include "wire.h"

#include <array>
#include <memory>
#include <string>

namespace vprobe {

class ProbeFirmware
{
public:
    ProbeIdentity identity;
    ChipState chip;
    TargetFlash flash;
    bool chipAttached = true;

    // Acts on one output report (65 bytes, byte 0 the report id) and returns its 64-byte reply.
    Reply process(const OutReport &out);
    void powerCycle(); // the job in progress is lost; flash, rolling code and offline job stay
    void factoryReset(); // blank chip, default identity, nothing stored
    VirtualProbe::StoredJob storedJob() const;
    const std::string &lastRefusal() const { return refusalText; }

private:
    enum class Phase {
        Idle,
        Detected, // chip detect answered
        Checked, // chip check answered: read-backs may follow
        Configured, // settings accepted
        ErasePending, // sector erase of more than seven images: the second erase report is due
        Erased, // ready for images, rolling code and finish
        InImage, // between image start and image end
    };
    struct Region
    {
        bool known = false;
        uint32_t address = 0;
        uint32_t length = 0;
    };
    struct Settings
    {
        std::array<uint8_t, 32> plain{};
        int fileCount = 0;
        int eraseMode = 0;
        bool program = false;
        bool verify = false;
        bool offline = false;
        uint32_t timestamp = 0;
        int protectLevel = 0;
    };
    struct ImageTransfer
    {
        int index = 0;
        Region region;
        uint32_t received = 0;
        uint32_t pageFill = 0;
        uint16_t nextBlock = 0;
        uint16_t lastBlock = 0xFFFF; // 0xFFFF until a block arrives
        bool verifyFailed = false;
        std::array<uint8_t, 1024> page{};
        Md5 md5;
        CbcDecryptor cipher;
    };
    struct RollingCode
    {
        bool active = false;
        uint32_t address = 0, first = 0, step = 0, next = 0;
    };
    using Handler = Reply (ProbeFirmware::*)(const OutReport &);
    struct Command
    {
        uint8_t id;
        Handler handler;
    };
    static const Command commandTable[];

    Reply refuse(const OutReport &out, uint8_t status, const char *why);
    static Reply accept(uint8_t command, uint8_t status);
    bool eraseNeeded() const { return settings.eraseMode == 0 || settings.fileCount > 0; }
    bool readyToEnd() const;

    // Standard and probe commands (firmware.cpp).
    Reply dapInfo(const OutReport &out);
    Reply chipDetect(const OutReport &out);
    Reply chipCheck(const OutReport &out);
    // The job (jobcommands.cpp).
    Reply jobSettings(const OutReport &out);
    Reply erase(const OutReport &out);
    Reply rollingCode(const OutReport &out);
    Reply finish(const OutReport &out);
    bool decodeSettings(const uint8_t *plain, Settings &s) const;
    bool readRegions(const OutReport &out, int first, int count);
    // Images (imagecommands.cpp).
    Reply imageStart(const OutReport &out);
    Reply dataBlock(const OutReport &out);
    Reply imageEnd(const OutReport &out);
    bool programPage(); // false: the page lies outside the chip's flash
    // Read-back services (readback.cpp).
    Reply offlineErase(const OutReport &out);
    Reply verifyRange(const OutReport &out);
    Reply digestRange(const OutReport &out);

    Phase phase = Phase::Idle;
    Settings settings;
    std::array<Region, 10> regions{};
    int nextImage = 0;
    bool rollingWritten = false;
    std::unique_ptr<ImageTransfer> image;
    RollingCode rolling;
    bool settingsValid = false;
    bool offlineStored = false;
    std::string refusalText;
};

} // namespace vprobe
