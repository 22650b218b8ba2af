// Link timing of the virtual CMSIS-DAP probe. A command takes its OUT packets once the probe has a
// free packet buffer; the probe works on commands one after another, each for its command time
// plus the bits it clocks on the SWD wire; a reply takes its IN packets. HID packets go one per
// 1 ms frame; bulk packets one per slot (a frame, or microframe, shared by the packets it
// carries). The host's clock advances only by what it waits for.
#include "cmsisdapprobe.h"

#include "virtualprobe.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace vprobe {

namespace {

constexpr uint64_t kFrameNs = CmsisDapProbe::kFrameUs * 1000;
constexpr uint64_t kHeld = ~uint64_t(0); // a packet buffer a queued command holds

uint64_t wallNanoseconds()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

uint64_t frameAtOrAfter(uint64_t ns)
{
    return (ns + kFrameNs - 1) / kFrameNs * kFrameNs;
}

} // namespace

CmsisDapProbe &CmsisDapProbe::instance(int k)
{
    static std::mutex mutex;
    // Created on first use and never destroyed: they outlive host threads at exit.
    static std::array<CmsisDapProbe *, kMaxProbes> probes{};
    std::lock_guard<std::mutex> lock(mutex);
    const int index = std::clamp(k, 0, kMaxProbes - 1);
    CmsisDapProbe *&probe = probes[size_t(index)];
    if (!probe) {
        probe = new CmsisDapProbe;
        // DAP_Info reports the serial number the USB descriptors carry.
        const std::wstring serial = VirtualProbe::serialNumberOf(index);
        probe->m_serial.assign(serial.begin(), serial.end());
        probe->m_device->setSerial(probe->m_serial);
    }
    return *probe;
}

CmsisDapProbe *CmsisDapProbe::active(int k)
{
    CmsisDapProbe &p = instance(k);
    std::lock_guard<std::mutex> lock(p.m_mutex);
    return p.m_enabled ? &p : nullptr;
}

CmsisDapProbe::CmsisDapProbe()
    : m_device(std::make_unique<CmsisDapDevice>())
{
    m_device->target().setTiming(m_flashWordUs, m_flashSectorUs);
}

void CmsisDapProbe::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint8_t packets = m_device->packetCount();
    const SimulatedPart part = m_device->part();
    const std::string uart = m_device->uartFile();
    m_device = std::make_unique<CmsisDapDevice>();
    m_device->setPacketCount(packets);
    m_device->setSerial(m_serial);
    if (part != SimulatedPart::Qb48)
        m_device->selectPart(part);
    m_device->setUartFile(uart);
    m_device->target().setTiming(m_flashWordUs, m_flashSectorUs);
    m_gone = m_silent = m_faultArmed = false;
    m_unplugCountdown = m_silentCountdown = m_faultCountdown = 0;
    m_fault = BulkFault::None;
    m_nowNs = m_probeFreeNs = 0;
    m_hidOut = m_hidIn = m_bulkOut = m_bulkIn = Direction();
    m_replies.clear();
    m_bufferFreeNs.clear();
    m_queued.clear();
    m_realStartNs = wallNanoseconds();
}

void CmsisDapProbe::hostClosed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device->runOn();
}

void CmsisDapProbe::setRealTime(bool realTime)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_realTime = realTime;
    m_realStartNs = wallNanoseconds() - m_nowNs;
}

bool CmsisDapProbe::takeCommand(bool bulk)
{
    if (m_unplugCountdown > 0 && --m_unplugCountdown == 0)
        m_gone = true;
    if (m_silentCountdown > 0 && --m_silentCountdown == 0)
        m_silent = true;
    if (bulk && m_fault != BulkFault::None && m_faultCountdown > 0 && --m_faultCountdown == 0)
        m_faultArmed = true;
    return !m_gone;
}

uint64_t CmsisDapProbe::transfer(Direction &direction, uint64_t fromNs, size_t bytes, bool bulk)
{
    if (!bulk && m_hidReport == kReportSize) {
        const uint64_t start = std::max(frameAtOrAfter(fromNs), direction.nextNs);
        direction.nextNs = start + kFrameNs;
        return direction.nextNs;
    }
    if (!bulk) { // a high-speed interrupt endpoint: one report per microframe
        constexpr uint64_t microframe = kFrameNs / 8;
        const uint64_t start =
            std::max((fromNs + microframe - 1) / microframe * microframe, direction.nextNs);
        direction.nextNs = start + microframe;
        return direction.nextNs;
    }
    const bool high = m_usb == Usb::HsBulk;
    const uint64_t slotNs = high ? 125000 / 13 : kFrameNs / 19;
    const size_t packet = high ? 512 : 64;
    const uint64_t packets = std::max<size_t>(1, (bytes + packet - 1) / packet);
    const uint64_t start = std::max(fromNs, direction.nextNs);
    direction.nextNs = start + packets * slotNs;
    return direction.nextNs;
}

void CmsisDapProbe::accept(const uint8_t *command, size_t length, bool bulk)
{
    ++m_commands;
    // DAP_TransferAbort is taken on arrival, outside the command buffers, and never answered.
    if (length && command[0] == 0x07) {
        transfer(bulk ? m_bulkOut : m_hidOut, m_nowNs, length, bulk);
        return;
    }
    uint64_t from = m_nowNs;
    if (m_bufferFreeNs.size() >= m_device->packetCount()) {
        // A buffer held by a queued packet frees only when the queue runs; a host that fills
        // them all would wait for ever on a real probe, here the packet goes on.
        if (m_bufferFreeNs.front() != kHeld)
            from = std::max(from, m_bufferFreeNs.front());
        m_bufferFreeNs.pop_front();
    }
    const uint64_t arrived = transfer(bulk ? m_bulkOut : m_hidOut, from, length, bulk);
    // hid_write returns once the report is queued; a bulk transfer once it has gone.
    m_nowNs = std::max(
        m_nowNs, bulk ? arrived : arrived - (m_hidReport > kReportSize ? kFrameNs / 8 : kFrameNs));
    // Queued packets wait in their buffers for the first packet that is not one of them; then
    // each runs as DAP_ExecuteCommands and is answered in order.
    m_queued.push_back({std::vector<uint8_t>(command, command + length), arrived});
    if (length && command[0] == 0x7E) {
        m_bufferFreeNs.push_back(kHeld); // until the queue runs
        return;
    }
    m_bufferFreeNs.erase(std::remove(m_bufferFreeNs.begin(), m_bufferFreeNs.end(), kHeld),
                         m_bufferFreeNs.end());
    std::deque<Queued> packets;
    packets.swap(m_queued);
    for (Queued &packet : packets)
        execute(packet.bytes, packet.arrivedNs, bulk);
}

void CmsisDapProbe::execute(std::vector<uint8_t> &command, uint64_t arrived, bool bulk)
{
    const uint64_t start = std::max(arrived, m_probeFreeNs) + uint64_t(m_commandUs) * 1000;
    const size_t packet = bulk ? (m_usb == Usb::HsBulk ? 512 : 64) : m_hidReport;
    m_device->setLinkPacketSize(uint16_t(packet));
    m_device->setTime(start);
    std::vector<uint8_t> reply = m_device->process(command.data(), command.size());
    m_probeFreeNs = start + m_device->wireNanoseconds();
    if (!bulk)
        reply.resize(m_hidReport, 0); // HID reports are always the full size
    const bool faulty = bulk && m_faultArmed;
    m_faultArmed = false;
    if (faulty && m_fault == BulkFault::ShortReply)
        reply.resize(1);
    if (faulty && m_fault == BulkFault::LongReply)
        reply.resize(size_t(m_usb == Usb::HsBulk ? 512 : 64) + 16, 0);
    const uint64_t ready = transfer(bulk ? m_bulkIn : m_hidIn, m_probeFreeNs, reply.size(), bulk);
    if (faulty && m_fault == BulkFault::ZeroLength)
        m_replies.push_back({{}, ready});
    const bool fills = bulk && !reply.empty() && reply.size() % packet == 0;
    m_replies.push_back({std::move(reply), ready});
    if (fills && m_zeroLengthPackets)
        m_replies.push_back({{}, ready});
    m_bufferFreeNs.push_back(ready);
}

int CmsisDapProbe::pop(std::vector<uint8_t> &reply, int timeoutMs)
{
    if (m_gone)
        return -1;
    if (m_realTime) // the host's own work takes time too
        m_nowNs = std::max(m_nowNs, wallNanoseconds() - m_realStartNs);
    // A negative time-out waits for ever: for the first reply, whenever it is ready.
    const uint64_t deadline =
        timeoutMs < 0 ? ~uint64_t(0) : m_nowNs + uint64_t(timeoutMs) * 1000000;
    if (m_replies.empty() || m_replies.front().readyNs > deadline) {
        m_nowNs = deadline;
        return 0;
    }
    m_nowNs = std::max(m_nowNs, m_replies.front().readyNs);
    reply = std::move(m_replies.front().reply);
    m_replies.pop_front();
    return 1;
}

void CmsisDapProbe::sleepUntilModelled(std::unique_lock<std::mutex> &lock)
{
    const uint64_t target = m_realStartNs + m_nowNs;
    const bool sleep = m_realTime;
    lock.unlock();
    if (sleep) {
        const uint64_t now = wallNanoseconds();
        if (target > now)
            std::this_thread::sleep_for(std::chrono::nanoseconds(target - now));
    }
}

int CmsisDapProbe::write(const unsigned char *data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!takeCommand(false)) {
        m_replied.notify_all();
        return -1;
    }
    if (!data || length < 2 || length > size_t(m_hidReport) + 1 || data[0] != 0)
        return -1;
    if (!m_silent)
        accept(data + 1, length - 1, false);
    m_replied.notify_all();
    return int(length);
}

int CmsisDapProbe::read(unsigned char *data, size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (timeoutMs < 0) // blocks until another thread's command brings a reply, as hidapi does
        m_replied.wait(lock, [this] { return m_gone || !m_replies.empty(); });
    std::vector<uint8_t> reply;
    int result = pop(reply, timeoutMs);
    if (result > 0) {
        const size_t n = std::min(length, reply.size());
        if (data)
            std::memcpy(data, reply.data(), n);
        result = data ? int(n) : -1;
    }
    sleepUntilModelled(lock);
    return result;
}

int CmsisDapProbe::bulkWrite(const unsigned char *data, int length, int *transferred)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (transferred)
        *transferred = 0;
    if (!takeCommand(true)) {
        m_replied.notify_all();
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (m_faultArmed && m_fault == BulkFault::Stall) {
        m_faultArmed = false;
        return LIBUSB_ERROR_PIPE;
    }
    const int packet = m_usb == Usb::HsBulk ? 512 : 64;
    if (!data || length < 1 || length > packet * 2)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (!m_silent)
        accept(data, size_t(length), true);
    m_replied.notify_all();
    if (transferred)
        *transferred = length;
    sleepUntilModelled(lock);
    return 0;
}

void CmsisDapProbe::dropUnreadReplies()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replies.clear();
}

int CmsisDapProbe::bulkRead(unsigned char *data, int length, int *transferred, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (transferred)
        *transferred = 0;
    if (m_gone) {
        sleepUntilModelled(lock);
        return LIBUSB_ERROR_NO_DEVICE;
    }
    // Packets until a short one (a zero-length one too) ends the transfer or the buffer is full;
    // what a time-out cuts short is handed over with LIBUSB_ERROR_TIMEOUT, as libusb does.
    const size_t packet = m_usb == Usb::HsBulk ? 512 : 64;
    const size_t room = size_t(std::max(length, 0));
    if (m_realTime) // the host's own work takes time too
        m_nowNs = std::max(m_nowNs, wallNanoseconds() - m_realStartNs);
    // A negative time-out waits for ever, for each packet.
    const bool untilReply = timeoutMs < 0;
    const uint64_t deadline = untilReply ? ~uint64_t(0) : m_nowNs + uint64_t(timeoutMs) * 1000000;
    size_t got = 0;
    int result = 0;
    for (;;) {
        if (untilReply)
            m_replied.wait(lock, [this] { return m_gone || !m_replies.empty(); });
        if (m_gone) {
            result = LIBUSB_ERROR_NO_DEVICE;
            break;
        }
        if (m_replies.empty() || m_replies.front().readyNs > deadline) {
            m_nowNs = deadline;
            result = LIBUSB_ERROR_TIMEOUT;
            break;
        }
        InFlight &front = m_replies.front();
        m_nowNs = std::max(m_nowNs, front.readyNs);
        const size_t chunk = std::min(packet, front.reply.size() - front.taken);
        const size_t fits = std::min(chunk, room - got);
        if (data && fits)
            std::memcpy(data + got, front.reply.data() + front.taken, fits);
        got += fits;
        front.taken += chunk;
        const bool ended = chunk < packet;
        if (front.taken >= front.reply.size())
            m_replies.pop_front();
        if (fits < chunk) {
            result = LIBUSB_ERROR_OVERFLOW;
            break;
        }
        if (ended || got == room)
            break;
    }
    if (transferred)
        *transferred = int(got);
    sleepUntilModelled(lock);
    return result;
}

} // namespace vprobe
