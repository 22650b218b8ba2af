// The control API of the virtual probe: configuration, fault injection and inspection, all under
// the state's mutex so tests may configure it while the host talks to it from other threads.
#include "probestate.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace vprobe {

namespace {

using Lock = std::lock_guard<std::mutex>;

std::atomic<VirtualProbe *> probes[VirtualProbe::maxProbes];
std::mutex creation;
std::atomic<int> probeCount{1};

} // namespace

VirtualProbe &VirtualProbe::instance()
{
    return probe(0);
}

VirtualProbe &VirtualProbe::probe(int index)
{
    index = std::clamp(index, 0, maxProbes - 1);
    if (VirtualProbe *p = probes[index].load(std::memory_order_acquire))
        return *p;
    Lock lock(creation);
    // Never destroyed: host threads may still call hidapi while the process exits.
    if (!probes[index].load(std::memory_order_relaxed))
        probes[index].store(new VirtualProbe(index), std::memory_order_release);
    return *probes[index].load(std::memory_order_relaxed);
}

void VirtualProbe::setCount(int n)
{
    probeCount = std::clamp(n, 1, maxProbes);
}

int VirtualProbe::count()
{
    return probeCount;
}

VirtualProbe::VirtualProbe(int index)
    : d(new State)
{
    d->index = index;
}

int VirtualProbe::index() const
{
    return d->index;
}

std::string VirtualProbe::path() const
{
    return "vprobe:" + std::to_string(d->index);
}

std::wstring VirtualProbe::serialNumber() const
{
    return serialNumberOf(d->index);
}

std::wstring VirtualProbe::serialNumberOf(int index)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"QVP%08d", index + 1);
    return text;
}

void VirtualProbe::reset()
{
    Lock lock(d->mutex);
    d->firmware.factoryReset();
    if (!d->present)
        d->present = true; // handles of the earlier plug-in stay dead: their generation is gone
    d->unplugCountdown = 0;
    d->faults.clear();
    d->queued.clear();
    d->pending.reset();
    d->lastCommand = -1;
    d->latencyUs = 0;
    d->realTime = false;
    d->virtualUs = 0;
    d->waitedNs = 0;
    d->trace.clear();
    d->traceLimit = 0;
}

ProbeIdentity VirtualProbe::identity() const
{
    Lock lock(d->mutex);
    return d->firmware.identity;
}

void VirtualProbe::setIdentity(const ProbeIdentity &identity)
{
    Lock lock(d->mutex);
    d->firmware.identity = identity;
}

ChipState VirtualProbe::chip() const
{
    Lock lock(d->mutex);
    return d->firmware.chip;
}

void VirtualProbe::setChip(const ChipState &chip)
{
    Lock lock(d->mutex);
    d->firmware.chip = chip;
}

void VirtualProbe::setPresent(bool present)
{
    Lock lock(d->mutex);
    if (present)
        d->present = true;
    else
        d->unplug();
}

bool VirtualProbe::present() const
{
    Lock lock(d->mutex);
    return d->present;
}

void VirtualProbe::unplugNow()
{
    setPresent(false);
}

void VirtualProbe::setChipAttached(bool attached, bool keepFlash)
{
    Lock lock(d->mutex);
    ProbeFirmware &f = d->firmware;
    if (attached && !f.chipAttached) {
        f.chip.readProtected = false;
        f.chip.appliedProtectLevel = 0;
        if (!keepFlash)
            f.flash.eraseAll();
    }
    f.chipAttached = attached;
}

bool VirtualProbe::chipAttached() const
{
    Lock lock(d->mutex);
    return d->firmware.chipAttached;
}

void VirtualProbe::unplugAfterReports(int n)
{
    Lock lock(d->mutex);
    d->unplugCountdown = n > 0 ? n : 0;
}

void VirtualProbe::failNext(uint8_t command, ReplyFault fault, int count, uint8_t value)
{
    Lock lock(d->mutex);
    const bool meaningful = fault == ReplyFault::Withhold ? count != 0 : count > 0;
    if (meaningful)
        d->faults.push_back(InjectedFault{command, fault, count, value});
}

void VirtualProbe::queueReply(uint8_t command, const std::vector<uint8_t> &reply)
{
    Lock lock(d->mutex);
    Reply bytes(reply.begin(), reply.begin() + std::min<size_t>(reply.size(), inReportSize + 1));
    d->queued[command].push_back(std::move(bytes));
}

void VirtualProbe::setLatencyMicroseconds(int perRead, bool realTime)
{
    Lock lock(d->mutex);
    d->latencyUs = perRead > 0 ? perRead : 0;
    d->realTime = realTime;
}

uint64_t VirtualProbe::virtualTimeMs() const
{
    Lock lock(d->mutex);
    return d->virtualUs / 1000;
}

uint64_t VirtualProbe::waitedNanoseconds() const
{
    return d->waitedNs.load();
}

std::vector<TraceEntry> VirtualProbe::trace() const
{
    Lock lock(d->mutex);
    return std::vector<TraceEntry>(d->trace.begin(), d->trace.end());
}

std::vector<uint8_t> VirtualProbe::commandsWritten() const
{
    Lock lock(d->mutex);
    std::vector<uint8_t> commands;
    for (const TraceEntry &e : d->trace) {
        if (e.kind == TraceEntry::Kind::Write && e.data.size() > 1)
            commands.push_back(e.data[1]);
    }
    return commands;
}

void VirtualProbe::clearTrace()
{
    Lock lock(d->mutex);
    d->trace.clear();
}

std::string VirtualProbe::lastRefusal() const
{
    Lock lock(d->mutex);
    return d->firmware.lastRefusal();
}

void VirtualProbe::setTraceLimit(size_t maxEntries)
{
    Lock lock(d->mutex);
    d->traceLimit = maxEntries;
    while (maxEntries && d->trace.size() > maxEntries)
        d->trace.pop_front();
}

void VirtualProbe::setTraceFile(const std::string &path)
{
    Lock lock(d->mutex);
    if (d->traceFile)
        std::fclose(d->traceFile);
    d->traceFile = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
}

std::vector<uint8_t> VirtualProbe::readFlash(uint32_t address, uint32_t length) const
{
    Lock lock(d->mutex);
    return d->firmware.flash.read(address, length);
}

void VirtualProbe::writeFlash(uint32_t address, const std::vector<uint8_t> &bytes)
{
    Lock lock(d->mutex);
    d->firmware.flash.store(address, bytes.data(), bytes.size());
}

VirtualProbe::StoredJob VirtualProbe::storedJob() const
{
    Lock lock(d->mutex);
    return d->firmware.storedJob();
}

} // namespace vprobe
