// Configuration of the preloaded virtual probe from QUORVEL_VPROBE_* environment variables; a value
// that does not parse is reported on stderr and ignored.
#include "virtualprobe.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace vprobe {

namespace {

const char *env(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

void complain(const char *name, const char *value)
{
    std::fprintf(stderr, "quorvel-virtualprobe: ignoring %s=%s\n", name, value);
}

bool parseNumber(const std::string &text, uint64_t max, uint64_t &out)
{
    if (text.empty() || text[0] == '-')
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > max)
        return false;
    out = v;
    return true;
}

// Reads variable `name` as a number up to `max` into `target`; absent leaves it untouched.
template<typename T>
void number(const char *name, uint64_t max, T &target)
{
    const char *value = env(name);
    uint64_t v = 0;
    if (value && parseNumber(value, max, v))
        target = T(v);
    else if (value)
        complain(name, value);
}

bool parseFault(const std::string &item, VirtualProbe &probe)
{
    std::vector<std::string> parts;
    std::stringstream stream(item);
    for (std::string part; std::getline(stream, part, ':');)
        parts.push_back(part);
    static const struct
    {
        const char *name;
        ReplyFault fault;
    } kinds[] = {{"withhold", ReplyFault::Withhold},
                 {"short", ReplyFault::Short},
                 {"long", ReplyFault::Long},
                 {"echo", ReplyFault::WrongEcho},
                 {"status", ReplyFault::Status}};
    uint64_t command = 0, count = 1, value = 0;
    if (parts.size() < 2 || parts.size() > 4 || !parseNumber(parts[0], 0xFF, command))
        return false;
    if (parts.size() > 3 && !parseNumber(parts[3], 0xFF, value))
        return false;
    int signedCount = 1;
    if (parts.size() > 2 && parts[2] == "never")
        signedCount = -1;
    else if (parts.size() > 2 && parseNumber(parts[2], 1000000, count))
        signedCount = int(count);
    else if (parts.size() > 2)
        return false;
    for (const auto &kind : kinds) {
        if (parts[1] == kind.name) {
            probe.failNext(uint8_t(command), kind.fault, signedCount, uint8_t(value));
            return true;
        }
    }
    return false;
}

bool parseHexBytes(const std::string &text, std::array<uint8_t, 16> &bytes)
{
    if (text.size() != 2 * bytes.size())
        return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint64_t v = 0;
        if (!std::isxdigit(uint8_t(text[2 * i])) || !std::isxdigit(uint8_t(text[2 * i + 1]))
            || !parseNumber("0x" + text.substr(2 * i, 2), 0xFF, v))
            return false;
        bytes[i] = uint8_t(v);
    }
    return true;
}

void configureIdentity(VirtualProbe &probe)
{
    ProbeIdentity id = probe.identity();
    if (const char *v = env("QUORVEL_VPROBE_MANUFACTURER"))
        id.manufacturer = std::wstring(v, v + std::strlen(v));
    if (const char *v = env("QUORVEL_VPROBE_PRODUCT"))
        id.product = std::wstring(v, v + std::strlen(v));
    number("QUORVEL_VPROBE_FIRMWARE", 0xFFFFFFFF, id.probeId);
    number("QUORVEL_VPROBE_INFO_LENGTH", 0xFF, id.infoLengthByte);
    if (const char *v = env("QUORVEL_VPROBE_FIRMWARE_INFO")) {
        if (!parseHexBytes(v, id.firmwareInfo))
            complain("QUORVEL_VPROBE_FIRMWARE_INFO", v);
    }
    probe.setIdentity(id);
}

void configureChip(VirtualProbe &probe)
{
    ChipState chip = probe.chip();
    number("QUORVEL_VPROBE_CHIP_MODEL", 0xFF, chip.model);
    number("QUORVEL_VPROBE_DEVICE_ID", 0xFFFFFFFF, chip.deviceId);
    number("QUORVEL_VPROBE_BOOT", 0x0F, chip.bootSource);
    number("QUORVEL_VPROBE_DETECTION_ERROR", 1, chip.detectionError);
    number("QUORVEL_VPROBE_READ_PROTECTED", 1, chip.readProtected);
    probe.setChip(chip);
}

} // namespace

void configureFromEnvironment(VirtualProbe &probe)
{
    configureIdentity(probe);
    configureChip(probe);

    bool absent = false;
    number("QUORVEL_VPROBE_ABSENT", 1, absent);
    if (absent)
        probe.setPresent(false);
    // The preloaded probe behaves like hardware unless asked for virtual time.
    bool realTime = true;
    int latencyUs = 0;
    number("QUORVEL_VPROBE_REALTIME", 1, realTime);
    number("QUORVEL_VPROBE_LATENCY_US", 10000000, latencyUs);
    probe.setLatencyMicroseconds(latencyUs, realTime);
    int unplugAfter = 0;
    number("QUORVEL_VPROBE_UNPLUG_AFTER", 1000000000, unplugAfter);
    probe.unplugAfterReports(unplugAfter);

    if (const char *v = env("QUORVEL_VPROBE_FAULTS")) {
        std::stringstream stream(v);
        for (std::string item; std::getline(stream, item, ',');) {
            if (!parseFault(item, probe))
                complain("QUORVEL_VPROBE_FAULTS item", item.c_str());
        }
    }
    probe.setTraceLimit(100000);
    if (const char *v = env("QUORVEL_VPROBE_TRACE"))
        probe.setTraceFile(v);
}

} // namespace vprobe
