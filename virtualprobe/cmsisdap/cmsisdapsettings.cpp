// The virtual CMSIS-DAP probe's settings as tests and the environment choose them: USB speed and
// packet sizes, command time, flash timing, and the faults it injects.
#include "cmsisdapprobe.h"

namespace vprobe {

void CmsisDapProbe::setEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_enabled = enabled;
}

void CmsisDapProbe::setPacketCount(uint8_t count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device->setPacketCount(count ? count : 1);
}

void CmsisDapProbe::setCommandMicroseconds(uint32_t us)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commandUs = us;
}

void CmsisDapProbe::setUsb(Usb usb)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_usb = usb;
}

CmsisDapProbe::Usb CmsisDapProbe::usb() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_usb;
}

uint16_t CmsisDapProbe::bulkPacketSize() const
{
    return usb() == Usb::HsBulk ? 512 : 64;
}

void CmsisDapProbe::setHidReportSize(uint16_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hidReport = bytes == 512 || bytes == 1024 ? bytes : uint16_t(kReportSize);
}

uint16_t CmsisDapProbe::hidReportSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hidReport;
}

void CmsisDapProbe::setZeroLengthPackets(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_zeroLengthPackets = on;
}

void CmsisDapProbe::setFlashTiming(uint32_t wordUs, uint32_t sectorUs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flashWordUs = wordUs;
    m_flashSectorUs = sectorUs;
    m_device->target().setTiming(wordUs, sectorUs);
}

uint64_t CmsisDapProbe::elapsedMicroseconds() const
{
    return elapsedNanoseconds() / 1000;
}

uint64_t CmsisDapProbe::elapsedNanoseconds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nowNs;
}

uint64_t CmsisDapProbe::commandsReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void CmsisDapProbe::unplugAfterReports(int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugCountdown = n > 0 ? n : 0;
}

void CmsisDapProbe::silentAfterReports(int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silentCountdown = n > 0 ? n : 0;
}

void CmsisDapProbe::setBulkFault(BulkFault fault, int nthCommand)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
    m_faultCountdown = std::max(nthCommand, 1);
    m_faultArmed = false;
}

CmsisDapProbe::BulkFault CmsisDapProbe::bulkFault() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fault;
}

} // namespace vprobe
