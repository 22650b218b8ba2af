// Internal state of the virtual probe behind the control API and the hidapi front: the firmware,
// the USB side (plugging, handles, faults, queued replies) and the trace, under one mutex.
#pragma once

#include "firmware.h"
#include "virtualprobe.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <hidapi/hidapi.h>

// hidapi leaves the handle type opaque; ours remembers which plug-in it belongs to (the front's
// registry knows which probe).
struct hid_device_
{
    uint64_t generation;
    bool nonblocking = false; // hid_read returns at once
    hid_device_info *info = nullptr; // what hid_get_device_info returned, freed with the handle
};

namespace vprobe {

struct InjectedFault
{
    uint8_t command;
    ReplyFault fault;
    int count;
    uint8_t value;
};

struct PendingReply
{
    Reply bytes;
    int withhold = 0; // reads still to time out before it arrives; -1: never
};

// What a read hands back, decided under the lock; sleeping and copying happen after.
struct ReadOutcome
{
    int result = 0; // -1 error, 0 time-out, else bytes copied
    Reply bytes;
    uint64_t sleepUs = 0;
};

struct VirtualProbe::State
{
    int index = 0;
    mutable std::mutex mutex;
    ProbeFirmware firmware;
    bool present = true;
    uint64_t generation = 1; // advanced by every unplug: older handles are dead
    std::set<const hid_device *> handles;
    int unplugCountdown = 0; // > 0: reports left until the probe vanishes
    std::vector<InjectedFault> faults;
    std::map<uint8_t, std::deque<Reply>> queued;
    std::optional<PendingReply> pending;
    int lastCommand = -1;
    int latencyUs = 0;
    bool realTime = false;
    uint64_t virtualUs = 0;
    std::atomic<uint64_t> waitedNs{0}; // real sleeps, added after them without the lock
    std::deque<TraceEntry> trace;
    size_t traceLimit = 0; // 0: keep everything
    std::FILE *traceFile = nullptr;

    bool alive(const hid_device *dev) const
    {
        return dev && handles.count(dev) && dev->generation == generation && present;
    }
    void unplug();
    void record(TraceEntry entry);
    Reply spoil(uint8_t command, Reply reply, int &withhold);
    int write(hid_device *dev, const unsigned char *data, size_t length);
    ReadOutcome read(hid_device *dev, int timeoutMs);
};

} // namespace vprobe
