// Configuration of the preloaded virtual probes from QUORVEL_VPROBE_* environment variables; a
// value that does not parse is reported on stderr and ignored.
#include "virtualprobe.h"

#include "cmsisdap/cmsisdapprobe.h"

#include <algorithm>
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

// One item of a variable: "k/value" addresses probe k, a bare value every probe.
struct Item
{
    int probe = -1;
    std::string value;
};

// Splits a variable into items (at commas when `list`, never for texts). In a list an item naming a
// probe that is not plugged in is reported and dropped; a text that does not name one (a relative
// path "2024/trace") is taken whole.
std::vector<Item> items(const char *name, bool list)
{
    std::vector<Item> out;
    const char *value = env(name);
    if (!value)
        return out;
    std::stringstream stream(value);
    for (std::string text; std::getline(stream, text, list ? ',' : '\0');) {
        Item item{-1, text};
        const size_t slash = text.find('/');
        uint64_t k = 0;
        if (slash != std::string::npos && slash > 0
            && text.find_first_not_of("0123456789") == slash) {
            const bool plugged = parseNumber(text.substr(0, slash), VirtualProbe::maxProbes, k)
                && int(k) < VirtualProbe::count();
            if (plugged) {
                item = Item{int(k), text.substr(slash + 1)};
            } else if (list) {
                complain(name, text.c_str());
                continue;
            }
        }
        out.push_back(item);
    }
    return out;
}

// Calls apply(probe, value) for every item of `name` and every probe it addresses, left to right
// (a later item wins); an item `apply` rejects is reported once.
template<typename Apply>
void each(const char *name, bool list, Apply apply)
{
    for (const Item &item : items(name, list)) {
        const int first = item.probe < 0 ? 0 : item.probe;
        const int last = item.probe < 0 ? VirtualProbe::count() - 1 : item.probe;
        bool ok = true;
        for (int k = first; k <= last && ok; ++k)
            ok = apply(VirtualProbe::probe(k), item.value);
        if (!ok) {
            const std::string shown =
                item.probe < 0 ? item.value : std::to_string(item.probe) + "/" + item.value;
            complain(name, shown.c_str());
        }
    }
}

// A numeric variable (a comma-separated list of [k/]number, each up to `max`) fed to `set`.
template<typename Set>
void number(const char *name, uint64_t max, Set set)
{
    each(name, true, [&](VirtualProbe &probe, const std::string &text) {
        uint64_t v = 0;
        if (!parseNumber(text, max, v))
            return false;
        set(probe, v);
        return true;
    });
}

template<typename T>
auto identityField(T ProbeIdentity::*field)
{
    return [field](VirtualProbe &probe, uint64_t v) {
        ProbeIdentity id = probe.identity();
        id.*field = T(v);
        probe.setIdentity(id);
    };
}

template<typename T>
auto chipField(T ChipState::*field)
{
    return [field](VirtualProbe &probe, uint64_t v) {
        ChipState chip = probe.chip();
        chip.*field = T(v);
        probe.setChip(chip);
    };
}

// A text variable: one [k/]text, not split, so it may hold commas.
void text(const char *name, std::wstring ProbeIdentity::*field)
{
    each(name, false, [field](VirtualProbe &probe, const std::string &v) {
        ProbeIdentity id = probe.identity();
        id.*field = std::wstring(v.begin(), v.end());
        probe.setIdentity(id);
        return true;
    });
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
    if (parts[1] == "reconnect") {
        // The probe's two-report answer "reconnect me": a refused reply, then one starting with 5.
        if (parts.size() > 3 || (parts.size() == 3 && !parseNumber(parts[2], 1000, count)))
            return false;
        std::vector<uint8_t> refused(64, 0), marker(64, 0);
        refused[0] = uint8_t(command);
        marker[0] = 0x05;
        for (uint64_t i = 0; i < count; ++i) {
            probe.queueReply(uint8_t(command), refused);
            probe.queueReply(uint8_t(command), marker);
        }
        return true;
    }
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

void configureIdentity()
{
    text("QUORVEL_VPROBE_MANUFACTURER", &ProbeIdentity::manufacturer);
    text("QUORVEL_VPROBE_PRODUCT", &ProbeIdentity::product);
    number("QUORVEL_VPROBE_FIRMWARE", 0xFFFFFFFF, identityField(&ProbeIdentity::probeId));
    number("QUORVEL_VPROBE_INFO_LENGTH", 0xFF, identityField(&ProbeIdentity::infoLengthByte));
    each("QUORVEL_VPROBE_FIRMWARE_INFO", true, [](VirtualProbe &probe, const std::string &v) {
        ProbeIdentity id = probe.identity();
        if (!parseHexBytes(v, id.firmwareInfo))
            return false;
        probe.setIdentity(id);
        return true;
    });
}

void configureChip()
{
    number("QUORVEL_VPROBE_CHIP_MODEL", 0xFF, chipField(&ChipState::model));
    number("QUORVEL_VPROBE_DEVICE_ID", 0xFFFFFFFF, chipField(&ChipState::deviceId));
    number("QUORVEL_VPROBE_BOOT", 0x0F, chipField(&ChipState::bootSource));
    number("QUORVEL_VPROBE_DETECTION_ERROR", 1, chipField(&ChipState::detectionError));
    number("QUORVEL_VPROBE_READ_PROTECTED", 1, chipField(&ChipState::readProtected));
}

void configureLink()
{
    number("QUORVEL_VPROBE_ABSENT", 1, [](VirtualProbe &probe, uint64_t v) {
        if (v)
            probe.setPresent(false);
    });
    // The preloaded probe behaves like hardware unless asked for virtual time.
    std::vector<bool> realTime(size_t(VirtualProbe::count()), true);
    std::vector<int> latencyUs(realTime.size(), 0);
    number("QUORVEL_VPROBE_REALTIME", 1,
           [&](VirtualProbe &probe, uint64_t v) { realTime[size_t(probe.index())] = v; });
    number("QUORVEL_VPROBE_LATENCY_US", 10000000,
           [&](VirtualProbe &probe, uint64_t v) { latencyUs[size_t(probe.index())] = int(v); });
    for (int k = 0; k < VirtualProbe::count(); ++k)
        VirtualProbe::probe(k).setLatencyMicroseconds(latencyUs[size_t(k)], realTime[size_t(k)]);
    number("QUORVEL_VPROBE_UNPLUG_AFTER", 1000000000,
           [](VirtualProbe &probe, uint64_t v) { probe.unplugAfterReports(int(v)); });
    each("QUORVEL_VPROBE_FAULTS", true,
         [](VirtualProbe &probe, const std::string &v) { return parseFault(v, probe); });
}

// Each probe's file of a file-name variable: an unaddressed name is probe 0's; probe k (k >= 1)
// uses the same name plus ".k".
std::vector<std::string> perProbeFiles(const char *name)
{
    std::vector<std::string> files(static_cast<size_t>(VirtualProbe::count()));
    for (const Item &item : items(name, false)) {
        for (int k = 0; k < VirtualProbe::count(); ++k) {
            if (item.probe == k)
                files[size_t(k)] = item.value;
            else if (item.probe < 0)
                files[size_t(k)] = k ? item.value + "." + std::to_string(k) : item.value;
        }
    }
    return files;
}

void configureTrace()
{
    const std::vector<std::string> files = perProbeFiles("QUORVEL_VPROBE_TRACE");
    for (int k = 0; k < VirtualProbe::count(); ++k) {
        VirtualProbe::probe(k).setTraceLimit(100000);
        if (!files[size_t(k)].empty())
            VirtualProbe::probe(k).setTraceFile(files[size_t(k)]);
    }
}

// Named like the trace file.
void configureFlashFiles()
{
    keepFlashFiles(perProbeFiles("QUORVEL_VPROBE_FLASH_FILE"));
}

} // namespace

void configureFromEnvironment()
{
    if (const char *v = env("QUORVEL_VPROBE_COUNT")) {
        uint64_t n = 0;
        if (parseNumber(v, VirtualProbe::maxProbes, n) && n > 0)
            VirtualProbe::setCount(int(n));
        else
            complain("QUORVEL_VPROBE_COUNT", v);
    }
    configureIdentity();
    configureChip();
    configureLink();
    configureTrace();
    configureFlashFiles();
}

} // namespace vprobe
