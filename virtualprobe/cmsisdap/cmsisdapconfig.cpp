// The preloaded library's CMSIS-DAP probes as the environment describes them.
#include "cmsisdapprobe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace vprobe {

namespace {

// Probe k's value of a variable: comma-separated items, "k/value" for probe k alone and a bare
// value for every probe, the last one that applies winning; false when none does.
bool setting(const char *name, int k, std::string &value)
{
    const char *text = std::getenv(name);
    if (!text || !*text)
        return false;
    bool found = false;
    std::stringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) {
        const size_t slash = item.find('/');
        if (slash != std::string::npos && slash > 0
            && item.find_first_not_of("0123456789") == slash) {
            if (std::strtol(item.c_str(), nullptr, 10) != k)
                continue;
            item.erase(0, slash + 1);
        }
        value = item;
        found = true;
    }
    return found;
}

// Environment numbers: the default when unset; refused (with a note) when not a number in range.
uint32_t number(const char *name, int k, uint32_t fallback, uint32_t max)
{
    std::string text;
    if (!setting(name, k, text))
        return fallback;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (!text.empty() && !*end && value <= max)
        return uint32_t(value);
    std::fprintf(stderr, "quorvel-virtualprobe: ignoring %s=%s\n", name, text.c_str());
    return fallback;
}

void configureOne(CmsisDapProbe &probe, int k)
{
    std::string text;
    if (setting("QUORVEL_VPROBE_DAP_PACKETS", k, text))
        probe.setPacketCount(uint8_t(std::clamp(std::atoi(text.c_str()), 1, 255)));
    if (setting("QUORVEL_VPROBE_DAP_COMMAND_US", k, text))
        probe.setCommandMicroseconds(uint32_t(std::clamp(std::atoi(text.c_str()), 0, 1000000)));
    if (setting("QUORVEL_VPROBE_HID_REPORT", k, text)) {
        const uint32_t bytes = number("QUORVEL_VPROBE_HID_REPORT", k, 64, 1024);
        if (bytes == 64 || bytes == 512 || bytes == 1024)
            probe.setHidReportSize(uint16_t(bytes));
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_HID_REPORT=%s\n",
                         text.c_str());
    }
    probe.setZeroLengthPackets(setting("QUORVEL_VPROBE_USB_ZLP", k, text) && text == "1");
    if (setting("QUORVEL_VPROBE_USB", k, text)) {
        const struct
        {
            const char *name;
            CmsisDapProbe::Usb usb;
        } links[] = {{"fs-hid", CmsisDapProbe::Usb::FsHid},
                     {"fs-bulk", CmsisDapProbe::Usb::FsBulk},
                     {"hs-bulk", CmsisDapProbe::Usb::HsBulk}};
        const auto *link = std::find_if(std::begin(links), std::end(links),
                                        [&](const auto &l) { return text == l.name; });
        if (link != std::end(links))
            probe.setUsb(link->usb);
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_USB=%s\n",
                         text.c_str());
    }
    probe.setFlashTiming(number("QUORVEL_VPROBE_FLASH_WORD_US", k, 20, 1000000),
                         number("QUORVEL_VPROBE_FLASH_SECTOR_US", k, 4000, 10000000));
    probe.reset();
    if (setting("QUORVEL_VPROBE_TARGET", k, text)) {
        SimulatedPart part = SimulatedPart::Qb48;
        if (parseSimulatedPart(text.c_str(), part))
            probe.device().selectPart(part);
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_TARGET=%s\n",
                         text.c_str());
    }
    if (setting("QUORVEL_VPROBE_DAP_VENDOR_LOCK", k, text) && text == "1" && probe.device().qs64())
        probe.device().qs64()->setVendorLocked(true);
    if (setting("QUORVEL_VPROBE_UART", k, text))
        probe.device().setUartFile(text);
    if (setting("QUORVEL_VPROBE_DAP_FAULT_AT", k, text)) {
        char *end = nullptr;
        const unsigned long long address = std::strtoull(text.c_str(), &end, 0);
        if (!text.empty() && !*end && address <= 0xFFFFFFFF)
            probe.device().faultAt(uint32_t(address));
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_DAP_FAULT_AT=%s\n",
                         text.c_str());
    }
    probe.device().setUptimeBeforeDebugger(
        uint64_t(number("QUORVEL_VPROBE_DAP_UPTIME_MS", k, 0, 250)) * 1000000);
    if (setting("QUORVEL_VPROBE_DAP_RESET", k, text)) {
        using Request = CmsisDapDevice::ResetRequest;
        if (text == "acked" || text == "ack-lost" || text == "ignored")
            probe.device().setResetRequest(text == "acked"          ? Request::Acked
                                               : text == "ack-lost" ? Request::AckLost
                                                                    : Request::Ignored);
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_DAP_RESET=%s\n",
                         text.c_str());
    }
    probe.setRealTime(!setting("QUORVEL_VPROBE_DAP_REALTIME", k, text) || text != "0");
    probe.setEnabled(true);
}

} // namespace

void configureCmsisDapFromEnvironment()
{
    const char *kind = std::getenv("QUORVEL_VPROBE_KIND");
    if (!kind || std::strcmp(kind, "cmsis-dap") != 0)
        return;
    // One probe per virtual probe plugged in (QUORVEL_VPROBE_COUNT, checked again with the rest).
    const char *count = std::getenv("QUORVEL_VPROBE_COUNT");
    const int n = count ? std::clamp(std::atoi(count), 1, CmsisDapProbe::kMaxProbes) : 1;
    for (int k = 0; k < n; ++k)
        configureOne(CmsisDapProbe::instance(k), k);
}

} // namespace vprobe
