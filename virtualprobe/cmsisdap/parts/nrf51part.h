// The nRF51822 (256 KiB flash, 16 KiB RAM) as its public reference manual describes the blocks a
// debugger and a flash algorithm touch: the NVMC, which writes a flash word only under
// CONFIG=WEN (and then only clears bits) and erases only under CONFIG=EEN; the FICR with the
// code page size and count, the hardware id and a device id of its own per board; the UICR,
// programmed like flash; UART0's transmitter; the POWER and watchdog blocks' registers as plain
// storage (a flash loader reloads the watchdog between words). Everything else faults.
#pragma once

#include "boardpart.h"

#include <map>
#include <string>

namespace vprobe {

class Nrf51Part : public BoardPart
{
public:
    static constexpr uint32_t kFlashSize = 0x40000;
    static constexpr uint32_t kPageSize = 0x400;
    static constexpr uint32_t kRamSize = 0x4000;
    static constexpr uint32_t kFicrBase = 0x10000000;
    static constexpr uint32_t kFicrSize = 0x400; // a page of its own; unset words read erased
    static constexpr uint32_t kUicrBase = 0x10001000;
    static constexpr uint32_t kUicrSize = 0x100;
    static constexpr uint32_t kPowerBase = 0x40000000;
    static constexpr uint32_t kUartBase = 0x40002000;
    static constexpr uint32_t kWdtBase = 0x40010000;
    static constexpr uint32_t kNvmcBase = 0x4001E000;
    static constexpr uint32_t kBlockSize = 0x1000; // of each peripheral

    static constexpr uint32_t kReady = kNvmcBase + 0x400;
    static constexpr uint32_t kConfig = kNvmcBase + 0x504;
    static constexpr uint32_t kErasePage = kNvmcBase + 0x508;
    static constexpr uint32_t kEraseAll = kNvmcBase + 0x50C;
    static constexpr uint32_t kErasePcr0 = kNvmcBase + 0x510;
    static constexpr uint32_t kEraseUicr = kNvmcBase + 0x514;
    static constexpr uint32_t kConfigRen = 0, kConfigWen = 1, kConfigEen = 2;

    static constexpr uint32_t kStartTx = kUartBase + 0x008;
    static constexpr uint32_t kStopTx = kUartBase + 0x00C;
    static constexpr uint32_t kEventsTxdRdy = kUartBase + 0x11C;
    static constexpr uint32_t kUartEnable = kUartBase + 0x500;
    static constexpr uint32_t kTxd = kUartBase + 0x51C;
    static constexpr uint32_t kUartEnabled = 4;

    static constexpr uint32_t kHwid = 0x0072; // nRF51822 QFAA, 256 KiB flash and 16 KiB RAM

    // Busy times of the controller, about what the chip's published data gives.
    static constexpr uint64_t kWordNs = 41000;
    static constexpr uint64_t kPageEraseNs = 21000000;
    static constexpr uint64_t kEraseAllNs = 22000000;

    explicit Nrf51Part(uint64_t deviceId = 0);

    // FICR DEVICEID[0] is the low word.
    void setDeviceId(uint64_t id) { m_deviceId = id; }
    uint64_t deviceId() const { return m_deviceId; }
    const std::vector<uint8_t> &uicr() const { return m_uicr; }
    // Erases in order ("erase page 0x00000400", "erase all", "erase uicr") and accesses the
    // controller ignored ("write ignored under CONFIG 0 at 0x00000400").
    const std::vector<std::string> &log() const { return m_log; }

    // BoardPart
    std::vector<Block> blocks() const override;
    uint32_t ramSize() const override { return kRamSize; }
    uint32_t cpuid() const override { return 0x410CC200; } // Cortex-M0 r0p0
    std::vector<uint8_t> &flash() override { return m_flash; }
    void setSerial(const std::string &serial) override;
    bool read(uint32_t address, unsigned size, uint32_t &value) override;
    bool write(uint32_t address, unsigned size, uint32_t value) override;

private:
    uint32_t ficr(uint32_t offset) const;
    bool writeNvmc(uint32_t address, uint32_t value);
    bool writeUart(uint32_t address, uint32_t value);
    void program(std::vector<uint8_t> &array, uint32_t base, uint32_t offset, unsigned size,
                 uint32_t value);
    void erase(std::vector<uint8_t> &array, uint32_t offset, uint32_t length);
    void note(const char *what, uint32_t address);

    std::vector<uint8_t> m_flash;
    std::vector<uint8_t> m_uicr;
    std::vector<std::string> m_log;
    std::map<uint32_t, uint32_t> m_registers; // the rest of UART0, POWER and WDT, as written
    uint64_t m_deviceId;
    uint32_t m_config = kConfigRen;
    bool m_txStarted = false;
};

} // namespace vprobe
