// One pass of the host through every probe operation against a probe that answers from a script
// of hostile bytes, and the rules it must keep; for the reply fuzzer and its replay tests.
//
// Script layout (bytes past the end read as 0):
//   0      job: bits 0-1 erase mode (3 reads as 0), bit 2 program, bit 3 verify, bit 4 rolling
//          code, bit 5 offline, bit 6 force program, bit 7 no probe plugged in
//   1      bits 0-3 chip model selected (mod 6), bits 4-5 file count (0..3)
//   2      chip behind the probe: bit 0 read-protected, bit 1 detection error, bit 2 boots from
//          LDROM, bit 3 device id 0, bits 4-6 model (mod 6), bit 7 manufacturer string not "ARM"
//   3      the probe is unplugged right after this many reports (0: never); from there every
//          read fails with -1
//   4..9   image lengths, 16-bit little-endian, mod (maxImage + 1)
//   10..21 image addresses, 32-bit little-endian
//   22..25 range size of the MD5 and CRC-32 read-backs
//   then replies until the end: a selector byte (mod 14: which command the reply answers, in the
//   order of `scriptCommands`), a length byte, and the reply bytes. A length of 0..65 takes that
//   many bytes verbatim (the read returns that length); a larger one makes a 64-byte reply that
//   echoes the command, followed by 63 script bytes. Replies queued for a command are used in
//   order, further reads of one request included; a request that finds none gets the emulator's
//   answer, and a further read with none left times out.
#pragma once

#include "download.h"
#include "handlebar.h"
#include "readrules.h"
#include "virtualprobe/virtualprobe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace faults {

constexpr uint8_t scriptCommands[] = {0x00, 0x94, 0x95, 0x9E, 0x96, 0x97, 0x98,
                                      0x99, 0x9A, 0x9F, 0x92, 0x93, 0x91, 0x8F};
constexpr int scriptHeader = 26;
constexpr uint32_t maxImage = 2100; // a little over two pages

// What each operation returned, and the first rule the host broke (empty: none).
struct ScriptOutcome
{
    int32_t open = 0;
    int32_t run = 0;
    int32_t verify = 0;
    int32_t md5 = 0;
    int32_t crc = 0;
    int32_t offlineErase = 0;
    std::string broken;
};

class ScriptReader
{
public:
    ScriptReader(const uint8_t *data, size_t size)
        : data(data)
        , size(size)
    { }
    uint8_t byte()
    {
        const uint8_t b = at < size ? data[at] : 0;
        ++at;
        return b;
    }
    uint32_t le(int bytes)
    {
        uint32_t value = 0;
        for (int k = 0; k < bytes; ++k)
            value |= uint32_t(byte()) << (8 * k);
        return value;
    }
    bool done() const { return at >= size; }

private:
    const uint8_t *data;
    size_t size;
    size_t at = 0;
};

namespace detail {

inline void setUpProbe(vprobe::VirtualProbe &probe, uint8_t job, uint8_t chipByte)
{
    probe.reset();
    vprobe::ChipState chip;
    chip.readProtected = chipByte & 0x01;
    chip.detectionError = chipByte & 0x02;
    chip.bootSource = (chipByte & 0x04) ? 1 : 2;
    if (chipByte & 0x08)
        chip.deviceId = 0;
    chip.model = ((chipByte >> 4) & 0x07) % 6;
    probe.setChip(chip);
    if (chipByte & 0x80) {
        vprobe::ProbeIdentity identity;
        identity.manufacturer = L"ARM Ltd";
        probe.setIdentity(identity);
    }
    if (job & 0x80)
        probe.setPresent(false);
}

inline void queueReplies(vprobe::VirtualProbe &probe, ScriptReader &in)
{
    constexpr size_t commands = sizeof scriptCommands;
    while (!in.done()) {
        const uint8_t command = scriptCommands[in.byte() % commands];
        const uint8_t length = in.byte();
        std::vector<uint8_t> reply;
        if (length <= 65) {
            for (int k = 0; k < length; ++k)
                reply.push_back(in.byte());
        } else {
            reply.push_back(command);
            for (int k = 1; k < 64; ++k)
                reply.push_back(in.byte());
        }
        probe.queueReply(command, reply);
    }
}

inline bool within(int32_t code, int32_t low, int32_t high)
{
    return code >= low && code <= high;
}

// Each operation's codes, and what must hold after it.
inline std::string checkCodes(const ScriptOutcome &o, const Download &d)
{
    if (o.open != 1 && o.open != -1 && o.open != -2)
        return "open returned " + std::to_string(o.open);
    if ((o.open == 1) != (d.connected == 1))
        return "connected does not match the open result";
    if (!within(o.run, 0, 13))
        return "run returned " + std::to_string(o.run);
    if (!within(o.verify, -1, 6) || !within(o.md5, -1, 5) || !within(o.crc, -1, 5))
        return "a read-back returned an undocumented code";
    if (!within(o.offlineErase, -1, 1))
        return "offline erase returned " + std::to_string(o.offlineErase);
    if (o.open != 1 && (o.run != 1 || o.verify != 1 || o.offlineErase != 1))
        return "a closed probe was used";
    if (o.open != 1 && d.device != nullptr)
        return "a refused probe stayed open";
    return {};
}

// A refused probe hears nothing after the DAP_Info requests of the attempt to open it.
inline std::string checkRefusedProbeLeftAlone(const std::vector<Exchange> &list)
{
    for (const Exchange &x : list) {
        if (x.request.size() > 1 && x.request[1] != 0x00)
            return "a refused probe was sent a vendor report";
    }
    return {};
}

} // namespace detail

// Runs the host once against the script; `images` backs the three slots (3 * maxImage bytes).
inline ScriptOutcome runScript(const uint8_t *data, size_t size, uint8_t *images)
{
    auto &probe = vprobe::VirtualProbe::instance();
    ScriptReader in(data, size);
    const uint8_t job = in.byte();
    const uint8_t selection = in.byte();
    detail::setUpProbe(probe, job, in.byte());
    const int unplugAfter = in.byte();

    ChipRecord chip;
    HandleBar bar;
    Download d;
    chip.model = (selection & 0x0F) % 6;
    d.chip = &chip;
    d.handleBar = &bar;
    d.eraseMode = (job & 0x03) == 3 ? 0 : job & 0x03;
    d.programEnabled = (job >> 2) & 1;
    d.verifyEnabled = (job >> 3) & 1;
    d.rollingCodeAddress = (job & 0x10) ? 0x1D000 : 0;
    d.rollingCodeValue = 0x100;
    d.rollingCodeStep = 1;
    d.offline_flag = (job >> 5) & 1;
    d.offlineForceProgram_flag = (job >> 6) & 1;
    d.fileCount = (selection >> 4) & 0x03;
    for (int i = 0; i < 3; ++i) {
        d.imageData[i] = images + size_t(i) * maxImage;
        d.imageLength[i] = in.le(2) % (maxImage + 1);
    }
    for (int i = 0; i < 3; ++i)
        d.imageAddress[i] = in.le(4);
    const uint32_t range = in.le(4);
    d.md5Address = d.crcAddress = 0;
    d.md5Size = d.crcSize = range;
    detail::queueReplies(probe, in);
    probe.unplugAfterReports(unplugAfter);

    ScriptOutcome o;
    o.open = d.toggleConnection();
    o.run = d.runProgramming();
    o.verify = d.verifyImages();
    const std::array<uint8_t, 16> digestBefore = {0x5A, 0xA5};
    std::memcpy(d.md5Digest, digestBefore.data(), 16);
    d.crcValue = 0x5AA5;
    o.md5 = d.readMd5();
    if (o.md5 != 0 && std::memcmp(d.md5Digest, digestBefore.data(), 16) != 0)
        o.broken = "a failed MD5 read-back changed the digest";
    o.crc = d.readCrc32();
    if (o.crc != 0 && d.crcValue != 0x5AA5)
        o.broken = "a failed CRC-32 read-back changed the value";
    o.offlineErase = d.offlineErase();
    if (o.broken.empty())
        o.broken = detail::checkCodes(o, d);
    if (d.connected == 1 && (d.toggleConnection() != 0 || d.device != nullptr))
        o.broken = "closing failed";
    const bool longErase = d.offline_flag == 1 || (chip.model == 4 && d.eraseMode == 0);
    const std::vector<Exchange> list = exchanges(probe.trace());
    if (o.broken.empty())
        o.broken = checkReadDiscipline(list, longErase);
    if (o.broken.empty() && o.open != 1)
        o.broken = detail::checkRefusedProbeLeftAlone(list);
    return o;
}

} // namespace faults
