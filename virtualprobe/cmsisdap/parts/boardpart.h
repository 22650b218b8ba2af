// A part of a public family on the virtual board: its blocks as the bus maps them, its RAM and
// core, and what the board wires to it (a UART line, a clock for the flash controller's busy time).
#pragma once

#include "../targetbus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vprobe {

class BoardPart : public BusDevice
{
public:
    struct Block
    {
        uint32_t base;
        uint32_t size;
        // Code can run from it: the emulator fetches from a copy of these bytes.
        const std::vector<uint8_t> *code;
    };

    virtual std::vector<Block> blocks() const = 0;
    virtual uint32_t ramSize() const = 0;
    virtual uint32_t cpuid() const = 0;
    // The main flash array, kept between runs in the probe's flash file.
    virtual std::vector<uint8_t> &flash() = 0;
    // The serial number of the probe the board sits in, for ids that differ from board to board.
    virtual void setSerial(const std::string &serial) { (void)serial; }

    // Accesses from here on come from the debugger at `nowNs`, or (false) from the core, which
    // the flash controller stalls instead.
    void setDebuggerAccess(bool debugger, uint64_t nowNs)
    {
        m_debugger = debugger;
        if (debugger)
            m_nowNs = nowNs;
    }
    // How long the core's own flash operations stalled it since the last call.
    uint64_t takeBusyNanoseconds()
    {
        const uint64_t ns = m_stallNs;
        m_stallNs = 0;
        return ns;
    }
    // Each byte the part's UART sends.
    void setUart(std::function<void(uint8_t)> line) { m_uart = std::move(line); }

protected:
    // An operation taking `ns`: the debugger sees the controller busy for that long, the core
    // is stalled for it.
    void busyFor(uint64_t ns)
    {
        if (m_debugger)
            m_readyAtNs = m_nowNs + ns;
        else
            m_stallNs += ns;
    }
    bool busy() const { return m_debugger && m_nowNs < m_readyAtNs; }
    void send(uint8_t byte)
    {
        if (m_uart)
            m_uart(byte);
    }

private:
    std::function<void(uint8_t)> m_uart;
    bool m_debugger = false;
    uint64_t m_nowNs = 0;
    uint64_t m_readyAtNs = 0;
    uint64_t m_stallNs = 0;
};

enum class SimulatedPart;

// The board's part for `part`, made for the probe with `serial`; nullptr for the parts of our own
// design, which the board models apart.
std::unique_ptr<BoardPart> makeBoardPart(SimulatedPart part, const std::string &serial);

} // namespace vprobe
