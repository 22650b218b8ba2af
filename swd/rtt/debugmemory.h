// The target's memory through the debug port, for the RTT reader.
#pragma once

#include "pack/targetdescription.h"
#include "rttreader.h"
#include "swd/debug/debugport.h"

namespace rtt {

class DebugMemory : public TargetMemory
{
public:
    explicit DebugMemory(DebugPort &port)
        : port(port)
    { }
    bool readWords(uint32_t address, uint32_t *words, size_t count) override
    {
        return port.readBlock(address, words, count) && port.sync();
    }
    bool writeWord(uint32_t address, uint32_t value) override
    {
        return port.write32(address, value);
    }
    bool readWordsThenWrite(uint32_t address, uint32_t *words, size_t count, uint32_t writeAddress,
                            uint32_t value) override
    {
        // Both queued: the probe carries them out in order, the host waits for the replies once.
        return port.readBlock(address, words, count) && port.writeBlock(writeAddress, &value, 1)
            && port.sync();
    }

private:
    DebugPort &port;
};

// The device's RAM as its firmware sees it: the default writable memory, else the first one.
inline Ram ramOf(const pack::TargetDescription &target)
{
    const pack::MemoryRegion *chosen = nullptr;
    for (const pack::MemoryRegion &m : target.memories) {
        if (m.writable() && (!chosen || (m.isDefault && !chosen->isDefault)))
            chosen = &m;
    }
    return chosen ? Ram{chosen->start, chosen->size} : Ram{};
}

} // namespace rtt
