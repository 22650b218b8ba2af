// The hidapi functions the host calls, answered by the virtual probes. Linked into tests in place
// of hidapi, or preloaded into the real program, so the host code cannot tell the difference.
#include "hidfront.h"

#include "cmsisdap/cmsisdapprobe.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

namespace vprobe {

std::vector<uint8_t> narrow(const std::wstring &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

namespace {

// Sleeps overshoot, so what is accounted is the time actually slept.
void sleepMicroseconds(std::atomic<uint64_t> &waitedNs, uint64_t us)
{
    if (!us)
        return;
    const auto from = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::microseconds(us));
    const auto slept = std::chrono::steady_clock::now() - from;
    waitedNs += uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(slept).count());
}

wchar_t *copyWide(const std::wstring &text)
{
    wchar_t *copy = new wchar_t[text.size() + 1];
    std::wmemcpy(copy, text.data(), text.size());
    copy[text.size()] = L'\0';
    return copy;
}

} // namespace

hid_device_info *deviceInfo(const VirtualProbe &probe, const ProbeIdentity &id)
{
    auto *info = new hid_device_info{};
    const std::string path = probe.path();
    info->path = new char[path.size() + 1];
    std::memcpy(info->path, path.c_str(), path.size() + 1);
    info->vendor_id = id.vendorId;
    info->product_id = id.productId;
    info->serial_number = copyWide(probe.serialNumber());
    info->release_number = 0x0100;
    info->manufacturer_string = id.manufacturerResult == 0 ? copyWide(id.manufacturer) : nullptr;
    info->product_string = id.productResult == 0 ? copyWide(id.product) : nullptr;
    info->usage_page = 0xFF00;
    info->usage = 0x0001;
    info->interface_number = 0;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeDeviceInfo(hid_device_info *info)
{
    delete[] info->path;
    delete[] info->serial_number;
    delete[] info->manufacturer_string;
    delete[] info->product_string;
    delete info;
}

std::mutex HidFront::registryMutex;
std::map<const hid_device *, VirtualProbe *> HidFront::registry;

} // namespace vprobe

using vprobe::HidFront;
using vprobe::TraceEntry;
using vprobe::VirtualProbe;

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    HidFront::configure();
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    return 0;
}

hid_device *HID_API_EXPORT HID_API_CALL hid_open(unsigned short vendor_id,
                                                 unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    HidFront::configure();
    // Like hidapi: the first plugged-in probe with these ids (and this serial number, if given).
    for (int k = 0; k < VirtualProbe::count(); ++k) {
        const std::wstring serial = VirtualProbe::probe(k).serialNumber();
        hid_device *dev = HidFront::open(k, [&](const auto &s) {
            const vprobe::ProbeIdentity &id = s.firmware.identity;
            return vendor_id == id.vendorId && product_id == id.productId
                && (!serial_number || serial == serial_number);
        });
        if (dev)
            return dev;
    }
    HidFront::recordFailedOpen(0);
    return nullptr;
}

hid_device *HID_API_EXPORT HID_API_CALL hid_open_path(const char *path)
{
    HidFront::configure();
    for (int k = 0; path && k < VirtualProbe::count(); ++k) {
        if (VirtualProbe::probe(k).path() != path)
            continue;
        hid_device *dev = HidFront::open(k, [](const auto &) { return true; });
        if (!dev)
            HidFront::recordFailedOpen(k);
        return dev;
    }
    return nullptr;
}

struct hid_device_info *HID_API_EXPORT HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    HidFront::configure();
    hid_device_info *first = nullptr;
    hid_device_info **tail = &first;
    for (int k = 0; k < VirtualProbe::count(); ++k) {
        VirtualProbe &probe = VirtualProbe::probe(k);
        const vprobe::ProbeIdentity id = probe.identity();
        if (!probe.present() || (vendor_id && vendor_id != id.vendorId)
            || (product_id && product_id != id.productId))
            continue;
        *tail = vprobe::deviceInfo(probe, id);
        tail = &(*tail)->next;
    }
    return first;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        vprobe::freeDeviceInfo(devs);
        devs = next;
    }
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (dev)
        if (vprobe::CmsisDapProbe *dap =
                vprobe::CmsisDapProbe::active(HidFront::stateOf(dev).index))
            dap->hostClosed();
    HidFront::close(dev);
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    auto &s = HidFront::stateOf(dev);
#ifdef QUORVEL_VPROBE_FROM_ENVIRONMENT
    vprobe::applyControlFile();
#endif
    vprobe::Lock lock(s.mutex);
    if (vprobe::CmsisDapProbe *dap = vprobe::CmsisDapProbe::active(s.index)) {
        const int result = s.alive(dev) ? dap->write(data, length) : -1;
        TraceEntry entry{TraceEntry::Kind::Write, {}, 0, result};
        if (data)
            entry.data.assign(data, data + std::min<size_t>(length, 1 + dap->kReportSize));
        s.record(std::move(entry));
        return result;
    }
    return s.write(dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data,
                                                 size_t length, int milliseconds)
{
    auto &s = HidFront::stateOf(dev);
    vprobe::Lock lock(s.mutex);
    if (vprobe::CmsisDapProbe *dap = vprobe::CmsisDapProbe::active(s.index)) {
        const bool alive = s.alive(dev);
        lock.unlock();
        const int result = alive ? dap->read(data, length, milliseconds) : -1;
        lock.lock();
        TraceEntry entry{TraceEntry::Kind::Read, {}, milliseconds, result};
        if (result > 0)
            entry.data.assign(data, data + result);
        s.record(std::move(entry));
        return result;
    }
    vprobe::ReadOutcome outcome = s.read(dev, milliseconds);
    if (outcome.result > 0 && !data) {
        outcome.result = -1;
        outcome.bytes.clear();
    } else if (outcome.result > 0) {
        // Never more than the caller's buffer holds: an over-long report is cut, as hidapi does.
        outcome.bytes.resize(std::min(outcome.bytes.size(), length));
        std::copy(outcome.bytes.begin(), outcome.bytes.end(), data);
        outcome.result = int(outcome.bytes.size());
    }
    s.record(TraceEntry{TraceEntry::Kind::Read, outcome.bytes, milliseconds, outcome.result});
    lock.unlock();
    // Outside the lock: one probe's latency never holds up another probe or its controller.
    vprobe::sleepMicroseconds(s.waitedNs, outcome.sleepUs);
    return outcome.result;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return HidFront::copyString(dev, TraceEntry::Kind::Manufacturer, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return HidFront::copyString(dev, TraceEntry::Kind::Product, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string,
                                                     size_t maxlen)
{
    return HidFront::copyString(dev, TraceEntry::Kind::Serial, string, maxlen);
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    auto &s = HidFront::stateOf(dev);
    vprobe::Lock lock(s.mutex);
    return dev && !s.alive(dev) ? L"virtual probe: device disconnected" : L"Success";
}

} // extern "C"
