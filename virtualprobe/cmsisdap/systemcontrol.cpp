// Registers of the private peripheral bus, each with the writable bits ARMv6-M gives it.
#include "systemcontrol.h"

namespace vprobe {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kIdBlock = 0xFD0; // PID4-7, PID0-3, CID0-3

// Peripheral IDs 4, 0, 1, 2, 3 and component class of the four units of a Cortex-M0.
struct Identity
{
    uint8_t pid4, pid0, pid1, pid2, pid3, cid1;
};
constexpr Identity kRomId{0x04, 0x71, 0xB4, 0x0B, 0x00, 0x10};
constexpr Identity kScsId{0x04, 0x08, 0xB0, 0x0B, 0x00, 0xE0};
constexpr Identity kDwtId{0x04, 0x0A, 0xB0, 0x0B, 0x00, 0xE0};
constexpr Identity kFpbId{0x04, 0x0B, 0xB0, 0x0B, 0x00, 0xE0};

uint32_t idRegister(const Identity &id, uint32_t offset)
{
    switch ((offset - kIdBlock) / 4) {
    case 0:
        return id.pid4;
    case 4:
        return id.pid0;
    case 5:
        return id.pid1;
    case 6:
        return id.pid2;
    case 7:
        return id.pid3;
    case 8:
        return 0x0D;
    case 9:
        return id.cid1;
    case 10:
        return 0x05;
    case 11:
        return 0xB1;
    default:
        return 0;
    }
}

// ROM table entries: offsets from the table to each unit, present, 32-bit format.
constexpr uint32_t entry(uint32_t unit)
{
    return (unit - SystemControl::kRomTable) | 0x3;
}

constexpr uint32_t kFpCompWritable = 0xDFFFFFFD;
constexpr uint32_t kFpCtrlKey = 0x2;
constexpr uint32_t kAircrKey = 0x05FA0000, kAircrKeyStat = 0xFA050000;
constexpr uint32_t kSysResetReq = 0x4, kVectClrActive = 0x2;
constexpr uint32_t kCountFlag = 1u << 16;
constexpr uint32_t kNmiPendSet = 1u << 31, kPendSvSet = 1u << 28, kPendSvClr = 1u << 27,
                   kPendStSet = 1u << 26, kPendStClr = 1u << 25, kIsrPending = 1u << 22;
constexpr uint32_t kMatched = 1u << 24;

} // namespace

SystemControl::SystemControl(CoreLink &core, uint32_t cpuid, bool hasVtor, uint32_t vtorReset)
    : m_core(core)
    , m_cpuid(cpuid)
    , m_hasVtor(hasVtor)
    , m_vtorReset(vtorReset)
{
    reset();
}

void SystemControl::reset()
{
    m_vtor = m_vtorReset;
    m_scr = m_shpr2 = m_shpr3 = m_shcsr = 0;
    m_pendSv = m_pendSt = m_nmiPending = 0;
    m_systCsr = m_systRvr = m_systCvr = 0;
    m_nvicEnabled = m_nvicPending = 0;
    m_nvicPriority.fill(0);
}

bool SystemControl::read(uint32_t address, unsigned size, uint32_t &value)
{
    if (size != 4 || address % 4)
        return false;
    const uint32_t offset = address % kPage;
    const uint32_t page = address - offset;
    value = 0;
    if (page == kScsBase)
        return offset >= kIdBlock ? (value = idRegister(kScsId, offset), true)
                                  : readScs(address, value);
    if (page == kDwtBase)
        return offset >= kIdBlock ? (value = idRegister(kDwtId, offset), true)
                                  : readDwt(offset, value);
    if (page == kFpbBase)
        return offset >= kIdBlock ? (value = idRegister(kFpbId, offset), true)
                                  : readFpb(offset, value);
    if (page != kRomTable)
        return false;
    if (offset >= kIdBlock)
        value = idRegister(kRomId, offset);
    else if (offset == 0xFCC)
        value = 0x1; // MEMTYPE: the system memory is reachable from this bus
    else if (offset < 12)
        value = entry(offset == 0 ? kScsBase : offset == 4 ? kDwtBase : kFpbBase);
    return true; // the end marker at 12 and reserved words read as zero
}

bool SystemControl::write(uint32_t address, unsigned size, uint32_t value)
{
    if (size != 4 || address % 4)
        return false;
    const uint32_t offset = address % kPage;
    const uint32_t page = address - offset;
    if (offset >= kIdBlock)
        return page == kScsBase || page == kDwtBase || page == kFpbBase || page == kRomTable;
    if (page == kScsBase)
        return writeScs(address, value);
    if (page == kDwtBase)
        return writeDwt(offset, value);
    if (page == kFpbBase)
        return writeFpb(offset, value);
    return page == kRomTable;
}

bool SystemControl::readScs(uint32_t address, uint32_t &value)
{
    if (address >= 0xE000E400 && address < 0xE000E420) {
        value = m_nvicPriority[(address - 0xE000E400) / 4];
        return true;
    }
    switch (address) {
    case 0xE000E010:
        value = m_systCsr;
        m_systCsr &= ~kCountFlag;
        break;
    case 0xE000E014:
        value = m_systRvr;
        break;
    case 0xE000E018:
        value = m_systCvr;
        break;
    case 0xE000E01C:
        value = 0x80000000; // NOREF: no reference clock; no calibration value
        break;
    case 0xE000E100:
    case 0xE000E180:
        value = m_nvicEnabled;
        break;
    case 0xE000E200:
    case 0xE000E280:
        value = m_nvicPending;
        break;
    case kCpuid:
        value = m_cpuid;
        break;
    case kIcsr:
        value = m_nmiPending | m_pendSv | m_pendSt | (m_nvicPending ? kIsrPending : 0)
            | (m_core.activeException() & 0x1FF);
        break;
    case kVtor:
        value = m_hasVtor ? m_vtor : 0;
        break;
    case kAircr:
        value = kAircrKeyStat;
        break;
    case 0xE000ED10:
        value = m_scr;
        break;
    case 0xE000ED14:
        value = 0x208; // STKALIGN, UNALIGN_TRP: fixed on ARMv6-M
        break;
    case 0xE000ED1C:
        value = m_shpr2;
        break;
    case 0xE000ED20:
        value = m_shpr3;
        break;
    case 0xE000ED24:
        value = m_shcsr;
        break;
    case kDfsr:
        value = m_dfsr;
        break;
    default:
        if (address >= kDhcsr && address <= kDemcr)
            value = m_core.readDebug(address);
        break; // reserved: reads as zero
    }
    return true;
}

bool SystemControl::writeScs(uint32_t address, uint32_t value)
{
    if (address >= 0xE000E400 && address < 0xE000E420) {
        m_nvicPriority[(address - 0xE000E400) / 4] = value & 0xC0C0C0C0;
        return true;
    }
    switch (address) {
    case 0xE000E010:
        m_systCsr = (m_systCsr & kCountFlag) | (value & 0x7);
        break;
    case 0xE000E014:
        m_systRvr = value & 0xFFFFFF;
        break;
    case 0xE000E018:
        m_systCvr = 0; // any write clears the counter and COUNTFLAG
        m_systCsr &= ~kCountFlag;
        break;
    case 0xE000E100:
        m_nvicEnabled |= value;
        break;
    case 0xE000E180:
        m_nvicEnabled &= ~value;
        break;
    case 0xE000E200:
        m_nvicPending |= value;
        break;
    case 0xE000E280:
        m_nvicPending &= ~value;
        break;
    case kIcsr:
        m_nmiPending |= value & kNmiPendSet;
        if (value & kPendSvSet)
            m_pendSv = kPendSvSet;
        else if (value & kPendSvClr)
            m_pendSv = 0;
        if (value & kPendStSet)
            m_pendSt = kPendStSet;
        else if (value & kPendStClr)
            m_pendSt = 0;
        break;
    case kVtor:
        if (m_hasVtor)
            m_vtor = value & 0xFFFFFF80;
        break;
    case kAircr:
        if ((value & 0xFFFF0000) != kAircrKey)
            break; // without the key the write is ignored
        if (value & kVectClrActive)
            m_core.clearActiveExceptions();
        if (value & kSysResetReq)
            m_core.requestSystemReset();
        break;
    case 0xE000ED10:
        m_scr = value & 0x16;
        break;
    case 0xE000ED1C:
        m_shpr2 = value & 0xC0000000;
        break;
    case 0xE000ED20:
        m_shpr3 = value & 0xC0C00000;
        break;
    case 0xE000ED24:
        m_shcsr = value & 0x8000;
        break;
    case kDfsr:
        m_dfsr &= ~value; // write one to clear
        break;
    default:
        if (address >= kDhcsr && address <= kDemcr)
            m_core.writeDebug(address, value);
        break; // CPUID, CCR and reserved words ignore writes
    }
    return true;
}

bool SystemControl::readDwt(uint32_t offset, uint32_t &value)
{
    if (offset == 0x000)
        value = uint32_t(kDwtComparators) << 28;
    else if (offset == 0x01C)
        value = m_core.pcSample();
    else if (offset >= 0x020 && offset < 0x020 + 16 * kDwtComparators) {
        Comparator &c = m_dwt[(offset - 0x020) / 16];
        switch (offset % 16) {
        case 0x0:
            value = c.comp;
            break;
        case 0x4:
            value = c.mask;
            break;
        case 0x8:
            value = c.function | (c.matched ? kMatched : 0);
            c.matched = false; // MATCHED clears on read
            break;
        default:
            break;
        }
    }
    return true;
}

bool SystemControl::writeDwt(uint32_t offset, uint32_t value)
{
    if (offset < 0x020 || offset >= 0x020 + 16 * kDwtComparators)
        return true;
    Comparator &c = m_dwt[(offset - 0x020) / 16];
    switch (offset % 16) {
    case 0x0:
        c.comp = value;
        break;
    case 0x4:
        c.mask = value & 0x1F;
        break;
    case 0x8:
        c.function = value & 0xF;
        break;
    default:
        return true;
    }
    ++m_dwtGeneration;
    return true;
}

bool SystemControl::readFpb(uint32_t offset, uint32_t &value) const
{
    if (offset == 0x000)
        value = uint32_t(kFpbComparators) << 4 | (m_fpbEnabled ? 1 : 0);
    else if (offset >= 0x008 && offset < 0x008 + 4 * kFpbComparators)
        value = m_fpComp[(offset - 0x008) / 4];
    return true; // FP_REMAP: no remapping on this core
}

bool SystemControl::writeFpb(uint32_t offset, uint32_t value)
{
    if (offset == 0x000 && (value & kFpCtrlKey))
        m_fpbEnabled = value & 1;
    else if (offset >= 0x008 && offset < 0x008 + 4 * kFpbComparators)
        m_fpComp[(offset - 0x008) / 4] = value & kFpCompWritable;
    else
        return true;
    ++m_fpbGeneration;
    return true;
}

} // namespace vprobe
