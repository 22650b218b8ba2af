// The SW-DP and its one MEM-AP (an AHB-AP) of the virtual target: DP registers with the power-up
// handshake and sticky flags, SELECT banks, CSW sizes and address increment, TAR, DRW with byte
// lanes and the banked data registers. Memory sits behind a callback; the bus is the target's.
#pragma once

#include <cstdint>
#include <functional>

namespace vprobe {

class SwdPort
{
public:
    static constexpr uint32_t kIdcode = 0x0BB11477;
    static constexpr uint32_t kApIdr = 0x04770021;
    static constexpr uint32_t kApBase = 0xE00FF003; // the ROM table, present
    static constexpr uint8_t kAckOk = 1, kAckWait = 2, kAckFault = 4;

    // CTRL/STAT flags and the ABORT bits that clear them.
    static constexpr uint32_t kOrunDetect = 0x1, kStickyOrun = 0x2, kStickyCmp = 0x10,
                              kStickyErr = 0x20, kReadOk = 0x40, kWdataErr = 0x80;
    static constexpr uint32_t kAbortStkCmp = 0x2, kAbortStkErr = 0x4, kAbortWdErr = 0x8,
                              kAbortOrun = 0x10;

    struct Result
    {
        uint8_t ack;
        uint32_t value;
    };
    // One bus access of 1, 2 or 4 bytes at `address` (aligned to its size); false is a bus error.
    // A read returns the value in the low bits, not in its byte lane.
    using Memory =
        std::function<bool(bool read, uint32_t address, unsigned bytes, uint32_t &value)>;

    explicit SwdPort(Memory memory);

    Result dp(bool read, uint8_t reg, uint32_t value);
    Result ap(bool read, uint8_t reg, uint32_t value);
    // The ABORT register, also what DAP_WriteABORT writes.
    void abort(uint32_t value);
    // An access the line answered WAIT: overrun detection makes it sticky.
    void waited();
    // An access the probe failed on purpose (an injected fault) sets the sticky error.
    void setStickyError() { m_ctrlStat |= kStickyErr; }
    bool stickyError() const { return m_ctrlStat & kStickyErr; }
    // A line reset: the DP's own state stays, only the read-ok flag goes.
    void lineReset() { m_ctrlStat &= ~kReadOk; }
    // The APSEL the MEM-AP answers at (0 unless a test part puts its core elsewhere); every
    // other APSEL reads as an empty slot.
    void setMemApIndex(uint8_t apsel) { m_memAp = apsel; }

private:
    uint32_t ctrlStat() const;
    Result drw(bool read, uint32_t value);
    Result banked(bool read, uint8_t reg, uint32_t value);
    bool sticky() const;

    Memory m_memory;
    uint32_t m_ctrlStat = 0; // requests, masks and flags as written or set
    uint32_t m_dlcr = 0;
    uint32_t m_select = 0;
    uint8_t m_memAp = 0;
    uint32_t m_csw = 0x03000042; // word size, no increment, device enabled
    uint32_t m_tar = 0;
    uint32_t m_rdbuff = 0;
    uint32_t m_lastRead = 0; // what RESEND returns
};

} // namespace vprobe
