// Firmware of the virtual CMSIS-DAP probe: the standard commands of an SWD-only probe, its SWD
// line and pins, the SW-DP with one AHB-AP, and the target behind it. Takes one command packet,
// returns its reply; knows nothing of USB.
#pragma once

#include "cortexcore.h"
#include "parts/boardpart.h"
#include "qs64flash.h"
#include "simulatedpart.h"
#include "swdport.h"
#include "targetmodel.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vprobe {

class CmsisDapDevice
{
public:
    static constexpr uint32_t kIdcode = SwdPort::kIdcode;
    static constexpr uint32_t kApIdr = SwdPort::kApIdr;
    static constexpr uint32_t kTimerHz = 1000000; // the test domain timer of timestamps

    CmsisDapDevice();

    // One packet; an empty reply for DAP_TransferAbort, which real probes never answer.
    std::vector<uint8_t> process(const uint8_t *request, size_t length);
    // The wire: a command processed from `startNs` on takes the time its bits need at the clock
    // DAP_SWJ_Clock set (4 MHz until then); the core sees the time of each transfer.
    void setTime(uint64_t startNs)
    {
        m_startNs = startNs;
        m_wireNs = 0;
    }
    uint64_t wireNanoseconds() const { return m_wireNs; }
    uint32_t clockHz() const { return m_clockHz; }
    // The packet size of the interface the command came through, unless setPacketSize chose one.
    void setLinkPacketSize(uint16_t size) { m_linkPacketSize = size; }

    void setPacketCount(uint8_t count) { m_packetCount = count; }
    uint8_t packetCount() const { return m_packetCount; }
    // Other probes: the packet size DAP_Info reports, and one that does JTAG alone.
    void setPacketSize(uint16_t size) { m_packetSize = size; }
    void setSwdCapable(bool swd) { m_swd = swd; }
    // DAP_Info's serial number: the USB serial of the probe it sits in. The board behind each
    // probe takes its unique ID from it, so two virtual boards never share one.
    void setSerial(const std::string &serial);
    // nRESET is wired to the part: held low, the core neither runs nor halts and the SWD pins
    // are the debug port's again, while the DP still answers; released, the part resets. The
    // observer hears the line after the part: true when it goes low, false when released.
    void setResetLine(std::function<void(bool asserted)> line) { m_resetLine = std::move(line); }
    bool resetAsserted() const { return !(m_pins & kPinReset); }
    TargetModel &target() { return m_model; }
    // The part behind the debug port; a new choice starts from a blank part and a reset core.
    void selectPart(SimulatedPart part);
    SimulatedPart part() const { return m_part; }
    Qs64Flash *qs64() { return m_qs64.get(); } // nullptr unless the QS64 is selected
    BoardPart *board() { return m_board.get(); } // a public family's part, when selected
    // Appends each byte the part's UART sends to `path` (none: empty), flushed as it goes so a
    // reader sees a line once it is sent.
    void setUartFile(const std::string &path);
    const std::string &uartFile() const { return m_uartFile; }
    // The host let go of the probe (DAP_Disconnect, or it closed its handle without one): a board
    // of a public family runs on for kRunOnNs of its time, as a real one would, so what its
    // firmware prints reaches the UART file.
    static constexpr uint64_t kRunOnNs = 50000000;
    void runOn();
    CortexCore &core() { return *m_core; }
    // Where the part's MEM-AP sits; reset() of the probe puts it back at APSEL 0.
    void setMemApIndex(uint8_t apsel) { m_port.setMemApIndex(apsel); }

    // The target on the wire. Removed: nothing answers the SW-DP (no ACK). Attached again: a fresh
    // target, flash blank unless `keepFlash`, reached again only after the line reset.
    void setTargetAttached(bool attached, bool keepFlash = false);
    bool targetAttached() const { return m_targetAttached; }

    // How long the board ran its firmware before the probe first reached it (see CortexCore).
    void setUptimeBeforeDebugger(uint64_t ns)
    {
        m_uptimeNs = ns;
        m_core->setUptimeBeforeDebugger(ns);
    }
    // What a debugger's AIRCR SYSRESETREQ write meets: acknowledged, its ACK lost to the reset it
    // causes (as on parts whose debug logic resets with the system), or ignored by a part whose
    // reset request is not wired.
    enum class ResetRequest { Acked, AckLost, Ignored };
    void setResetRequest(ResetRequest how) { m_resetRequest = how; }

    // Faults. The next `attempts` AP accesses answer WAIT; the probe's retries absorb a few.
    void waitStorm(unsigned attempts) { m_waitAttempts = attempts; }
    // AP accesses to this word answer FAULT and set the sticky error.
    void faultAt(uint32_t address) { m_faultAddress = address; }
    // Writes to this word are acknowledged and lost, as RAM that is not there.
    void dropWritesAt(uint32_t address) { m_droppedWrite = address & ~3u; }

private:
    using Transfer = SwdPort::Result;
    static constexpr uint8_t kPinReset = 0x80;

    // One command of a packet or of DAP_ExecuteCommands: its reply, and in `used` how many
    // request bytes it took.
    std::vector<uint8_t> command(const uint8_t *p, size_t n, size_t &used);
    std::vector<uint8_t> execute(const uint8_t *p, size_t n);
    std::vector<uint8_t> info(uint8_t id) const;
    std::vector<uint8_t> transfer(const uint8_t *p, size_t n, size_t &used);
    std::vector<uint8_t> transferBlock(const uint8_t *p, size_t n, size_t &used);
    std::vector<uint8_t> swdSequence(const uint8_t *p, size_t n, size_t &used);
    std::vector<uint8_t> pins(const uint8_t *p, size_t n);
    void lineBits(const uint8_t *data, unsigned bits);
    void giveUid();
    void driveReset(bool low);
    Transfer access(uint8_t request, uint32_t value);
    bool memory(bool read, uint32_t address, unsigned bytes, uint32_t &value);
    void clockBits(uint64_t bits) { m_wireNs += bits * 1000000000ull / m_clockHz; }
    uint32_t timestamp() const { return uint32_t((m_startNs + m_wireNs) / 1000); }
    size_t replyCapacity() const { return m_packetSize ? m_packetSize : m_linkPacketSize; }

    TargetModel m_model;
    SimulatedPart m_part = SimulatedPart::Qb48;
    std::unique_ptr<Qs64Flash> m_qs64;
    std::unique_ptr<BoardPart> m_board;
    std::string m_uartFile;
    std::unique_ptr<CortexCore> m_core;
    SwdPort m_port;
    std::string m_serial = "QVP00000001";
    std::function<void(bool)> m_resetLine;
    uint8_t m_packetCount = 4;
    uint16_t m_packetSize = 0;
    uint16_t m_linkPacketSize = 64;
    uint32_t m_clockHz = 4000000;
    uint8_t m_idleCycles = 0;
    uint8_t m_turnaround = 1;
    bool m_dataPhase = false; // WAIT and FAULT still clock a data phase
    uint8_t m_pins = 0x83; // SWCLK, SWDIO and nRESET high
    uint64_t m_startNs = 0;
    uint64_t m_wireNs = 0;
    bool m_swd = true;
    bool m_connected = false;
    bool m_targetAttached = true;
    // Line state: the DP answers only after a line reset that follows the switch to SWD.
    unsigned m_ones = 0;
    uint16_t m_lastBits = 0;
    bool m_lineReset = false;
    bool m_switched = false;
    bool m_dpReady = false;
    uint16_t m_waitRetry = 100;
    uint16_t m_matchRetry = 0;
    uint32_t m_matchMask = 0xFFFFFFFF;
    unsigned m_waitAttempts = 0;
    uint32_t m_faultAddress = 0xFFFFFFFF;
    uint64_t m_uptimeNs = 0;
    ResetRequest m_resetRequest = ResetRequest::Acked;
    bool m_ackLost = false; // the access under way loses its ACK
    uint32_t m_droppedWrite = 0xFFFFFFFF;
};

} // namespace vprobe
