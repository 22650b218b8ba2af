// Test- and demo-facing control of the virtual probe: a probe emulator with a simulated target chip
// that sits behind the six hidapi functions the host calls. Tests link it in place of hidapi;
// the preloaded library drives the same emulator for the real application.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vprobe {

// How the reply to one command is spoiled (fault injection).
enum class ReplyFault {
    Withhold, // reads time out (return 0) for `count` reads, then the reply arrives; count -1: never
    Short, // the read returns 63 bytes
    Long, // the read returns 65 bytes
    WrongEcho, // byte 0 of the reply differs from the command
    Status, // byte 1 of the reply is replaced by `value`
};

struct TraceEntry
{
    enum class Kind { Open, Close, Manufacturer, Product, Write, Read };
    Kind kind;
    std::vector<uint8_t> data; // Write: the bytes written; Read: the bytes returned
    int timeoutMs = 0; // Read: the time-out the host asked for
    int result = 0; // the value returned to the host
};

// The probe as the host identifies it.
struct ProbeIdentity
{
    std::wstring manufacturer = L"ARM";
    int manufacturerResult = 0; // value hid_get_manufacturer_string returns
    std::wstring product = L"Quorvel Virtual CMSIS-DAP";
    int productResult = 0;
    uint32_t probeId = 0x6CFF0197; // DAP_Info 0xA0
    std::array<uint8_t, 16> firmwareInfo{}; // DAP_Info 0xA1
    int infoLengthByte = -1; // forces the DAP_Info length byte (0..255); -1: the natural length
};

// The simulated target as the probe sees it through its debug port.
struct ChipState
{
    int model = 2; // model code the chip check reports
    uint32_t deviceId = 0x00484B48; // 0 makes the chip detect read "no device"
    uint8_t bootSource = 2; // 1 LDROM, 2 APROM
    bool detectionError = false; // chip check reports a detection error (0xA in the high nibble)
    bool readProtected = false;
    int appliedProtectLevel = 0; // level applied by the last finished job
};

class VirtualProbe
{
public:
    static VirtualProbe &instance();

    // A present, accepted probe (firmware 1.97), a blank QB48 chip, no faults, empty trace.
    void reset();

    ProbeIdentity identity() const;
    void setIdentity(const ProbeIdentity &identity);
    ChipState chip() const;
    void setChip(const ChipState &chip);

    // Plugging.
    void setPresent(bool present); // absent: hid_open returns null
    void unplugNow(); // open handles fail from now on; hid_open returns null
    void unplugAfterReports(int n); // unplugs right after the n-th further written report

    // Faults, consumed by the next reply to `command` (0x00 for DAP_Info).
    void failNext(uint8_t command, ReplyFault fault, int count = 1, uint8_t value = 0);
    // The next reply to `command` is these bytes verbatim; their size is what the read returns.
    void queueReply(uint8_t command, const std::vector<uint8_t> &reply);

    // Latency per read: virtual (recorded only) by default; real sleeps for demos and benchmarks.
    void setLatencyMicroseconds(int perRead, bool realTime);
    uint64_t virtualTimeMs() const; // sum of the time-outs of reads that timed out

    // Inspection.
    std::vector<TraceEntry> trace() const;
    std::vector<uint8_t> commandsWritten() const; // byte 1 of every written report, in order
    void clearTrace();

    // Simulated flash (erased bytes read 0xFF).
    std::vector<uint8_t> readFlash(uint32_t address, uint32_t length) const;
    void writeFlash(uint32_t address, const std::vector<uint8_t> &bytes); // test set-up only

    // The job as the probe decoded it from the last settings report, and the rolling code state.
    struct StoredJob
    {
        bool valid = false;
        std::array<uint8_t, 32> plainSettings{}; // decrypted bytes 2..33 of the settings report
        uint32_t rollingCodeNext = 0; // value the next run writes (advanced by the step)
        bool offlineJobStored = false; // erased by 0x92
    };
    StoredJob storedJob() const;

private:
    VirtualProbe();
    struct State;
    State *d;
    friend struct HidFront;
};

// Reads QUORVEL_VPROBE_* environment variables (used by the preloaded library); see README.
void configureFromEnvironment(VirtualProbe &probe);

} // namespace vprobe
