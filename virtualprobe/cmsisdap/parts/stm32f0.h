// The STM32F030x8 and STM32F072xB as their public reference manuals (RM0360, RM0091) describe the
// blocks a debugger and a flash algorithm touch: main flash at 0x08000000 (aliased at 0 for the
// boot), SRAM, the flash interface with its unlock sequence, halfword programming and error
// flags, the read-only option bytes, the device electronic signature (UID, flash size), DBGMCU
// and USART1, whose bytes go to the board's UART line. Everything else on the bus is a bus error.
#pragma once

#include "../systemcontrol.h"
#include "boardpart.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vprobe {

class Stm32f0Part final : public BoardPart
{
public:
    enum class Variant { F030, F072 };

    static constexpr uint32_t kFlashBase = 0x08000000;
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kFlashIf = 0x40022000;
    static constexpr uint32_t kAcr = kFlashIf + 0x00;
    static constexpr uint32_t kKeyr = kFlashIf + 0x04;
    static constexpr uint32_t kOptKeyr = kFlashIf + 0x08;
    static constexpr uint32_t kSr = kFlashIf + 0x0C;
    static constexpr uint32_t kCr = kFlashIf + 0x10;
    static constexpr uint32_t kAr = kFlashIf + 0x14;
    static constexpr uint32_t kObr = kFlashIf + 0x1C;
    static constexpr uint32_t kWrpr = kFlashIf + 0x20;
    static constexpr uint32_t kKey1 = 0x45670123, kKey2 = 0xCDEF89AB;
    static constexpr uint32_t kSrBsy = 0x01, kSrPgErr = 0x04, kSrWrPrtErr = 0x10, kSrEop = 0x20;
    static constexpr uint32_t kCrPg = 0x01, kCrPer = 0x02, kCrMer = 0x04, kCrStrt = 0x40,
                              kCrLock = 0x80;
    static constexpr uint32_t kOptionBytes = 0x1FFFF800;
    static constexpr uint32_t kUid = 0x1FFFF7AC;
    static constexpr uint32_t kFlashSizeReg = 0x1FFFF7CC;
    static constexpr uint32_t kDbgmcuIdcode = 0x40015800;
    static constexpr uint32_t kUsart1 = 0x40013800;
    static constexpr uint32_t kUsartCr1 = kUsart1 + 0x00, kUsartIsr = kUsart1 + 0x1C,
                              kUsartTdr = kUsart1 + 0x28;
    static constexpr uint32_t kUsartUe = 0x01, kUsartTe = 0x08;

    // `serial` seeds the UID.
    explicit Stm32f0Part(Variant variant, const std::string &serial = std::string());

    Variant variant() const { return m_variant; }
    uint32_t flashSize() const { return uint32_t(m_flash.size()); }
    uint32_t pageSize() const { return m_variant == Variant::F072 ? 0x800 : 0x400; }
    uint32_t deviceId() const { return m_variant == Variant::F072 ? 0x448 : 0x440; }
    const std::vector<uint8_t> &flash() const { return m_flash; }
    uint32_t status() const { return m_sr; }
    uint32_t control() const { return m_cr; }
    // Status reads that show BSY after an operation starts, before it completes.
    void setBusyReads(unsigned reads) { m_busyReads = reads; }

    // BoardPart
    std::vector<Block> blocks() const override;
    uint32_t ramSize() const override { return m_variant == Variant::F072 ? 0x4000 : 0x2000; }
    uint32_t cpuid() const override { return SystemControl::kCpuidCortexM0; }
    std::vector<uint8_t> &flash() override { return m_flash; }
    // The UID's three words, different for every serial number.
    void setSerial(const std::string &serial) override;
    void systemReset() override;
    bool read(uint32_t address, unsigned size, uint32_t &value) override;
    bool write(uint32_t address, unsigned size, uint32_t value) override;

private:
    void resetRegisters();
    // The flash interface (stm32f0flash.cpp).
    bool readFlashIf(uint32_t address, uint32_t &value);
    bool writeFlashIf(uint32_t address, uint32_t value);
    bool programHalfword(uint32_t offset, unsigned size, uint32_t value);
    void start();
    void finish();
    bool plain(uint32_t address, bool write, uint32_t &value);
    // The electronic signature and option bytes; USART1.
    bool readSystem(uint32_t address, unsigned size, uint32_t &value) const;
    bool readUsart(uint32_t address, uint32_t &value) const;
    bool writeUsart(uint32_t address, uint32_t value);

    Variant m_variant;
    std::vector<uint8_t> m_flash;
    uint32_t m_uid[3] = {};
    // Flash interface state.
    uint32_t m_acr = 0x30;
    uint32_t m_sr = 0;
    uint32_t m_cr = kCrLock;
    uint32_t m_ar = 0;
    int m_keyStage = 0;
    bool m_keyLocked = false; // a wrong key: locked until the next reset
    unsigned m_busyReads = 2;
    unsigned m_busyLeft = 0;
    // DBGMCU, RCC, GPIO and the USART's registers the model only stores.
    std::map<uint32_t, uint32_t> m_plain;
};

} // namespace vprobe
