// The hidapi functions the host calls, answered by the virtual probe. Linked into tests in place of
// hidapi, or preloaded into the real program, so the host code cannot tell the difference.
#include "cmsisdap/cmsisdapprobe.h"
#include "probestate.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace vprobe {

namespace {

using Lock = std::unique_lock<std::mutex>;

std::vector<uint8_t> narrow(const std::wstring &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

void sleepMicroseconds(uint64_t us)
{
    if (us)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace

struct HidFront
{
    static VirtualProbe::State &state()
    {
#ifdef QUORVEL_VPROBE_FROM_ENVIRONMENT
        static std::once_flag configured;
        std::call_once(configured, [] {
            configureFromEnvironment(VirtualProbe::instance());
            configureCmsisDapFromEnvironment();
        });
#endif
        return *VirtualProbe::instance().d;
    }
    static int copyString(VirtualProbe::State &s, hid_device *dev, TraceEntry::Kind kind,
                          wchar_t *string, size_t maxlen)
    {
        Lock lock(s.mutex);
        const ProbeIdentity &id = s.firmware.identity;
        const bool manufacturer = kind == TraceEntry::Kind::Manufacturer;
        const std::wstring &text = manufacturer ? id.manufacturer : id.product;
        int result = manufacturer ? id.manufacturerResult : id.productResult;
        if (!s.alive(dev) || !string || maxlen == 0)
            result = -1;
        if (result == 0) {
            // Like hidapi: at most maxlen characters, the last one always the terminator.
            const size_t n = std::min(text.size(), maxlen - 1);
            std::wmemcpy(string, text.data(), n);
            string[n] = L'\0';
        }
        s.record(TraceEntry{kind, narrow(text), 0, result});
        return result;
    }
};

} // namespace vprobe

using vprobe::HidFront;
using vprobe::TraceEntry;

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    HidFront::state();
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
    auto &s = HidFront::state();
    vprobe::Lock lock(s.mutex);
    const vprobe::ProbeIdentity &id = s.firmware.identity;
    // The virtual probe has no serial number, so asking for one finds nothing.
    hid_device *dev = nullptr;
    if (s.present && vendor_id == id.vendorId && product_id == id.productId && !serial_number) {
        dev = new hid_device{s.generation};
        s.handles.insert(dev);
    }
    s.record(TraceEntry{TraceEntry::Kind::Open, {}, 0, dev ? 1 : 0});
    return dev;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    auto &s = HidFront::state();
    vprobe::Lock lock(s.mutex);
    if (!s.handles.erase(dev))
        return;
    delete dev;
    s.record(TraceEntry{TraceEntry::Kind::Close, {}, 0, 0});
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    auto &s = HidFront::state();
    vprobe::Lock lock(s.mutex);
    if (vprobe::CmsisDapProbe *dap = vprobe::CmsisDapProbe::active())
        return s.alive(dev) ? dap->write(data, length) : -1;
    return s.write(dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data,
                                                 size_t length, int milliseconds)
{
    auto &s = HidFront::state();
    vprobe::Lock lock(s.mutex);
    if (vprobe::CmsisDapProbe *dap = vprobe::CmsisDapProbe::active()) {
        const bool alive = s.alive(dev);
        lock.unlock();
        return alive ? dap->read(data, length, milliseconds) : -1;
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
    vprobe::sleepMicroseconds(outcome.sleepUs);
    return outcome.result;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return HidFront::copyString(HidFront::state(), dev, TraceEntry::Kind::Manufacturer, string,
                                maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return HidFront::copyString(HidFront::state(), dev, TraceEntry::Kind::Product, string, maxlen);
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    auto &s = HidFront::state();
    vprobe::Lock lock(s.mutex);
    return dev && !s.alive(dev) ? L"virtual probe: device disconnected" : L"Success";
}

} // extern "C"
