// The hidapi front's registry of open handles, shared by its two source files and the libusb
// front's trace.
#pragma once

#include "cmsisdap/cmsisdapprobe.h"
#include "probestate.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vprobe {

using Lock = std::unique_lock<std::mutex>;

// One enumeration entry, as hidapi fills it for a CMSIS-DAP HID interface. An unreadable string
// is left null, as hidapi leaves it.
hid_device_info *deviceInfo(const VirtualProbe &probe, const ProbeIdentity &id);
void freeDeviceInfo(hid_device_info *info);
std::vector<uint8_t> narrow(const std::wstring &text);
struct HidFront
{
    static void configure()
    {
#ifdef QUORVEL_VPROBE_FROM_ENVIRONMENT
        static std::once_flag configured;
        std::call_once(configured, [] {
            // The CMSIS-DAP target first: a flash file is loaded into it when it is on.
            configureCmsisDapFromEnvironment();
            configureFromEnvironment();
        });
#endif
    }
    static VirtualProbe::State &state(VirtualProbe &probe)
    {
        return *probe.d;
    }

    // Which probe a handle belongs to. The registry lock covers only the lookup, never a probe's
    // work. An unknown handle goes to probe 0, which refuses it (and records the attempt).
    static VirtualProbe::State &stateOf(const hid_device *dev)
    {
        configure();
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = registry.find(dev);
        return state(it == registry.end() ? VirtualProbe::instance() : *it->second);
    }

    // Opens probe `index` if it is plugged in and `accept` (called under its lock) agrees.
    template<typename Accept>
    static hid_device *open(int index, Accept accept)
    {
        VirtualProbe &probe = VirtualProbe::probe(index);
        VirtualProbe::State &s = state(probe);
        Lock lock(s.mutex);
        if (!s.present || !accept(s))
            return nullptr;
        hid_device *dev = new hid_device{s.generation};
        s.handles.insert(dev);
        {
            std::lock_guard<std::mutex> registryLock(registryMutex);
            registry[dev] = &probe;
        }
        s.record(TraceEntry{TraceEntry::Kind::Open, {}, 0, 1});
        return dev;
    }

    static void recordFailedOpen(int index)
    {
        VirtualProbe::State &s = state(VirtualProbe::probe(index));
        Lock lock(s.mutex);
        s.record(TraceEntry{TraceEntry::Kind::Open, {}, 0, 0});
    }

    static void close(hid_device *dev)
    {
        VirtualProbe::State &s = stateOf(dev);
        Lock lock(s.mutex);
        if (!s.handles.erase(dev))
            return;
        {
            std::lock_guard<std::mutex> registryLock(registryMutex);
            registry.erase(dev);
        }
        if (dev->info)
            freeDeviceInfo(dev->info);
        delete dev;
        s.record(TraceEntry{TraceEntry::Kind::Close, {}, 0, 0});
    }

    static int copyString(hid_device *dev, TraceEntry::Kind kind, wchar_t *string, size_t maxlen)
    {
        VirtualProbe::State &s = stateOf(dev);
        Lock lock(s.mutex);
        const ProbeIdentity &id = s.firmware.identity;
        std::wstring text;
        int result = 0;
        if (kind == TraceEntry::Kind::Serial) {
            text = VirtualProbe::probe(s.index).serialNumber();
        } else {
            const bool manufacturer = kind == TraceEntry::Kind::Manufacturer;
            text = manufacturer ? id.manufacturer : id.product;
            result = manufacturer ? id.manufacturerResult : id.productResult;
        }
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

    static std::mutex registryMutex;
    static std::map<const hid_device *, VirtualProbe *> registry;
};

} // namespace vprobe
