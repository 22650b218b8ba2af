// Link timing of the virtual CMSIS-DAP probe. A command occupies one OUT frame and waits for a
// free packet buffer; the probe works on commands one after another; each reply occupies one IN
// frame. The host's clock advances only by what it waits for.
#include "cmsisdapprobe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vprobe {

namespace {

uint64_t wallMicroseconds()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

} // namespace

CmsisDapProbe &CmsisDapProbe::instance()
{
    static CmsisDapProbe *probe = new CmsisDapProbe; // outlives host threads at exit
    return *probe;
}

CmsisDapProbe *CmsisDapProbe::active()
{
    CmsisDapProbe &p = instance();
    std::lock_guard<std::mutex> lock(p.m_mutex);
    return p.m_enabled ? &p : nullptr;
}

CmsisDapProbe::CmsisDapProbe()
    : m_device(std::make_unique<CmsisDapDevice>())
{ }

void CmsisDapProbe::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint8_t packets = m_device->packetCount();
    const SimulatedPart part = m_device->part();
    m_device = std::make_unique<CmsisDapDevice>();
    m_device->setPacketCount(packets);
    if (part != SimulatedPart::Qb48)
        m_device->selectPart(part);
    m_gone = m_silent = false;
    m_unplugCountdown = m_silentCountdown = 0;
    m_nowUs = m_nextOutFrameUs = m_nextInFrameUs = m_probeFreeUs = 0;
    m_replies.clear();
    m_bufferFreeUs.clear();
    m_realStartUs = wallMicroseconds();
}

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

void CmsisDapProbe::setRealTime(bool realTime)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_realTime = realTime;
    m_realStartUs = wallMicroseconds() - m_nowUs;
}

uint64_t CmsisDapProbe::elapsedMicroseconds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nowUs;
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

uint64_t CmsisDapProbe::frameAtOrAfter(uint64_t us) const
{
    return (us + kFrameUs - 1) / kFrameUs * kFrameUs;
}

int CmsisDapProbe::write(const unsigned char *data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugCountdown > 0 && --m_unplugCountdown == 0)
        m_gone = true;
    if (m_gone || !data || length < 2 || length > kReportSize + 1 || data[0] != 0)
        return -1;
    if (m_silentCountdown > 0 && --m_silentCountdown == 0)
        m_silent = true;
    if (m_silent)
        return int(length);
    // The OUT frame: the next free one, once the probe has a buffer for the command.
    uint64_t frame = std::max(frameAtOrAfter(m_nowUs), m_nextOutFrameUs);
    if (m_bufferFreeUs.size() >= m_device->packetCount()) {
        frame = std::max(frame, frameAtOrAfter(m_bufferFreeUs.front()));
        m_bufferFreeUs.pop_front();
    }
    m_nextOutFrameUs = frame + kFrameUs;
    m_nowUs = std::max(m_nowUs, frame);
    const uint64_t arrived = frame + kFrameUs;
    const uint64_t done = std::max(arrived, m_probeFreeUs) + m_commandUs;
    m_probeFreeUs = done;
    const uint64_t inFrame = std::max(frameAtOrAfter(done), m_nextInFrameUs);
    m_nextInFrameUs = inFrame + kFrameUs;
    std::vector<uint8_t> reply = m_device->process(data + 1, length - 1);
    reply.resize(kReportSize, 0); // HID reports are always the full size
    m_replies.push_back({std::move(reply), inFrame + kFrameUs});
    m_bufferFreeUs.push_back(inFrame + kFrameUs);
    return int(length);
}

int CmsisDapProbe::read(unsigned char *data, size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_gone)
        return -1;
    const uint64_t deadline = m_nowUs + uint64_t(std::max(timeoutMs, 0)) * 1000;
    int result = 0;
    if (!m_replies.empty() && m_replies.front().readyUs <= deadline) {
        m_nowUs = std::max(m_nowUs, m_replies.front().readyUs);
        const std::vector<uint8_t> &reply = m_replies.front().reply;
        const size_t n = std::min(length, reply.size());
        if (data)
            std::memcpy(data, reply.data(), n);
        result = data ? int(n) : -1;
        m_replies.pop_front();
    } else {
        m_nowUs = deadline;
    }
    const uint64_t target = m_realStartUs + m_nowUs;
    const bool sleep = m_realTime;
    lock.unlock();
    if (sleep) {
        const uint64_t now = wallMicroseconds();
        if (target > now)
            std::this_thread::sleep_for(std::chrono::microseconds(target - now));
    }
    return result;
}

void configureCmsisDapFromEnvironment()
{
    const char *kind = std::getenv("QUORVEL_VPROBE_KIND");
    if (!kind || std::strcmp(kind, "cmsis-dap") != 0)
        return;
    CmsisDapProbe &probe = CmsisDapProbe::instance();
    if (const char *packets = std::getenv("QUORVEL_VPROBE_DAP_PACKETS"))
        probe.setPacketCount(uint8_t(std::clamp(std::atoi(packets), 1, 255)));
    if (const char *us = std::getenv("QUORVEL_VPROBE_DAP_COMMAND_US"))
        probe.setCommandMicroseconds(uint32_t(std::clamp(std::atoi(us), 0, 1000000)));
    probe.reset();
    if (const char *target = std::getenv("QUORVEL_VPROBE_TARGET")) {
        SimulatedPart part = SimulatedPart::Qb48;
        if (parseSimulatedPart(target, part))
            probe.device().selectPart(part);
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_TARGET=%s\n",
                         target);
    }
    if (const char *at = std::getenv("QUORVEL_VPROBE_DAP_FAULT_AT")) {
        char *end = nullptr;
        const unsigned long long address = std::strtoull(at, &end, 0);
        if (*at && !*end && address <= 0xFFFFFFFF)
            probe.device().faultAt(uint32_t(address));
        else
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_DAP_FAULT_AT=%s\n",
                         at);
    }
    const char *realTime = std::getenv("QUORVEL_VPROBE_DAP_REALTIME");
    probe.setRealTime(!realTime || std::strcmp(realTime, "0") != 0);
    probe.setEnabled(true);
}

} // namespace vprobe
