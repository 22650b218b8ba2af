// The virtual CMSIS-DAP probe as the hidapi and libusb fronts see it: a v1 HID interface (one
// 64-byte report per direction per 1 ms frame) and, on a v2 probe, a bulk interface (full speed:
// 64-byte packets, at most 19 per 1 ms frame; high speed: 512-byte packets, at most 13 per 125 us
// microframe); a probe with a few packet buffers and a time per command; the SWD wire at the
// probe's clock; the device behind it. Bulk IN is a stream of packets: a read takes packets until
// a short one or its buffer is full, so a read larger than a reply may run into the next one. Tests
// switch it on; the preloaded library does when QUORVEL_VPROBE_KIND=cmsis-dap.
#pragma once

#include "cmsisdapdevice.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace vprobe {

class CmsisDapProbe
{
public:
    static constexpr uint64_t kFrameUs = 1000;
    static constexpr size_t kReportSize = 64;

    enum class Usb { FsHid, FsBulk, HsBulk };
    // What goes wrong on the bulk interface. Busy and KernelDriver refuse the claim; the others
    // hit the n-th command sent after they are set (1: the next one).
    enum class BulkFault { None, Busy, KernelDriver, Stall, ShortReply, LongReply, ZeroLength };

    static constexpr int kMaxProbes = 64; // as many as virtual probes can be plugged in

    // Probe k's CMSIS-DAP personality (clamped to 0 .. kMaxProbes - 1), each with its own target.
    static CmsisDapProbe &instance(int k = 0);
    // Probe k's personality behind hidapi and libusb when enabled; nullptr otherwise.
    static CmsisDapProbe *active(int k = 0);

    // A fresh probe and target (blank flash), link idle at time 0, no faults; stays enabled and
    // keeps its link, packet count, command time and flash timing.
    void reset();
    void setEnabled(bool enabled);
    void setPacketCount(uint8_t count);
    void setCommandMicroseconds(uint32_t us);
    // fs-hid: a v1 probe; fs-bulk and hs-bulk: a v2 probe that keeps its v1 interface too.
    void setUsb(Usb usb);
    Usb usb() const;
    bool hasBulk() const { return usb() != Usb::FsHid; }
    uint16_t bulkPacketSize() const;
    // HID report size of the v1 interface: 64 (full speed), 512 or 1024 (high speed: one report
    // per 125 us microframe); the probe's packet size on HID.
    void setHidReportSize(uint16_t bytes);
    uint16_t hidReportSize() const;
    // Whether a bulk reply that exactly fills its last packet is followed by a zero-length
    // packet. Off by default, as on most v2 firmware: the host must read one packet per reply.
    void setZeroLengthPackets(bool on);
    void setFlashTiming(uint32_t wordUs, uint32_t sectorUs);
    // Real time: reads sleep until the modelled moment; otherwise time is only accounted.
    void setRealTime(bool realTime);
    uint64_t elapsedMicroseconds() const;
    uint64_t elapsedNanoseconds() const;
    // Commands the host has sent since the probe was made (each one report or bulk transfer).
    uint64_t commandsReceived() const;
    // After n further reports the probe is gone: that write and everything after fails.
    void unplugAfterReports(int n);
    // From the n-th further report on, the probe takes commands but never answers (hung firmware).
    void silentAfterReports(int n);
    void setBulkFault(BulkFault fault, int nthCommand = 1);
    BulkFault bulkFault() const;

    // Direct access to the device (flash contents, faults); not while a host is talking.
    CmsisDapDevice &device() { return *m_device; }

    // hidapi side: report id 0 in front of the command; replies are full reports. A negative
    // time-out blocks until a reply comes.
    int write(const unsigned char *data, size_t length);
    int read(unsigned char *data, size_t length, int timeoutMs);
    // libusb side: results as libusb_bulk_transfer returns them.
    int bulkWrite(const unsigned char *data, int length, int *transferred);
    // A negative time-out blocks until a reply comes.
    int bulkRead(unsigned char *data, int length, int *transferred, int timeoutMs);
    // What a USB bus reset does: replies not yet read are gone.
    void dropUnreadReplies();
    // The host closed its handle on the probe.
    void hostClosed();

private:
    struct InFlight
    {
        std::vector<uint8_t> reply; // empty: a zero-length packet
        uint64_t readyNs; // when the reply's last IN packet has gone
        size_t taken = 0; // bytes of it a bulk read has already taken
    };
    struct Queued
    {
        std::vector<uint8_t> bytes;
        uint64_t arrivedNs;
    };
    struct Direction
    {
        uint64_t nextNs = 0; // when the next packet may go
    };

    CmsisDapProbe();
    bool takeCommand(bool bulk); // counts down unplug and silence; false once gone
    uint64_t transfer(Direction &direction, uint64_t fromNs, size_t bytes, bool bulk);
    void accept(const uint8_t *command, size_t length, bool bulk);
    void execute(std::vector<uint8_t> &command, uint64_t arrivedNs, bool bulk);
    // The oldest reply within the time-out: 1 (copied), 0 (none came), -1 (gone).
    int pop(std::vector<uint8_t> &reply, int timeoutMs);
    void sleepUntilModelled(std::unique_lock<std::mutex> &lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_replied; // a reply was queued, or the probe went
    std::unique_ptr<CmsisDapDevice> m_device;
    bool m_enabled = false;
    bool m_gone = false;
    int m_unplugCountdown = 0;
    int m_silentCountdown = 0;
    bool m_silent = false;
    BulkFault m_fault = BulkFault::None;
    int m_faultCountdown = 0;
    bool m_faultArmed = false; // the faulty command was sent; its reply carries the fault
    Usb m_usb = Usb::FsHid;
    uint16_t m_hidReport = kReportSize;
    bool m_zeroLengthPackets = false;
    uint32_t m_commandUs = 100;
    uint64_t m_commands = 0;
    uint32_t m_flashWordUs = 20;
    uint32_t m_flashSectorUs = 4000;
    bool m_realTime = false;
    uint64_t m_nowNs = 0; // the host's clock
    Direction m_hidOut, m_hidIn, m_bulkOut, m_bulkIn;
    uint64_t m_probeFreeNs = 0;
    std::string m_serial;
    std::deque<Queued> m_queued; // DAP_QueueCommands packets not yet run
    std::deque<InFlight> m_replies; // answered, not yet read by the host
    std::deque<uint64_t> m_bufferFreeNs; // when each accepted command frees its buffer
    uint64_t m_realStartNs = 0;
};

// Reads QUORVEL_VPROBE_KIND, QUORVEL_VPROBE_USB, QUORVEL_VPROBE_HID_REPORT,
// QUORVEL_VPROBE_USB_ZLP, the QUORVEL_VPROBE_DAP_* (_UPTIME_MS: how long the board ran before the
// probe reached it; _RESET=acked|ack-lost|ignored: what SYSRESETREQ meets; _VENDOR_LOCK=1: a
// QS64 that needs its debug unlock) and the
// QUORVEL_VPROBE_FLASH_* variables
// (preloaded library).
void configureCmsisDapFromEnvironment();

} // namespace vprobe
