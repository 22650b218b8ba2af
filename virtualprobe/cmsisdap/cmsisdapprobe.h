// The virtual CMSIS-DAP probe as the hidapi front sees it: a full-speed HID link (one 64-byte
// report per direction per 1 ms frame), a probe with a few packet buffers and a time per command,
// and the device behind it. Tests switch it on; the preloaded library does when
// QUORVEL_VPROBE_KIND=cmsis-dap.
#pragma once

#include "cmsisdapdevice.h"

#include <deque>
#include <mutex>

namespace vprobe {

class CmsisDapProbe
{
public:
    static constexpr uint64_t kFrameUs = 1000;
    static constexpr size_t kReportSize = 64;

    static CmsisDapProbe &instance();
    // The probe behind hidapi when enabled; nullptr otherwise.
    static CmsisDapProbe *active();

    // A fresh probe and target (blank flash), link idle at time 0, no faults; stays enabled.
    void reset();
    void setEnabled(bool enabled);
    void setPacketCount(uint8_t count);
    void setCommandMicroseconds(uint32_t us);
    // Real time: reads sleep until the modelled moment; otherwise time is only accounted.
    void setRealTime(bool realTime);
    uint64_t elapsedMicroseconds() const;
    // After n further reports the probe is gone: that write and everything after fails.
    void unplugAfterReports(int n);
    // From the n-th further report on, the probe takes commands but never answers (hung firmware).
    void silentAfterReports(int n);

    // Direct access to the device (flash contents, faults); not while a host is talking.
    CmsisDapDevice &device() { return *m_device; }

    // hidapi side.
    int write(const unsigned char *data, size_t length);
    int read(unsigned char *data, size_t length, int timeoutMs);

private:
    struct InFlight
    {
        std::vector<uint8_t> reply;
        uint64_t readyUs; // when the reply's IN frame has ended
    };

    CmsisDapProbe();
    uint64_t frameAtOrAfter(uint64_t us) const;

    mutable std::mutex m_mutex;
    std::unique_ptr<CmsisDapDevice> m_device;
    bool m_enabled = false;
    bool m_gone = false;
    int m_unplugCountdown = 0;
    int m_silentCountdown = 0;
    bool m_silent = false;
    uint32_t m_commandUs = 100;
    bool m_realTime = false;
    uint64_t m_nowUs = 0; // the host's clock
    uint64_t m_nextOutFrameUs = 0;
    uint64_t m_nextInFrameUs = 0;
    uint64_t m_probeFreeUs = 0;
    std::deque<InFlight> m_replies; // answered, not yet read by the host
    std::deque<uint64_t> m_bufferFreeUs; // when each accepted command frees its buffer
    uint64_t m_realStartUs = 0;
};

// Reads QUORVEL_VPROBE_KIND and the QUORVEL_VPROBE_DAP_* variables (preloaded library).
void configureCmsisDapFromEnvironment();

} // namespace vprobe
