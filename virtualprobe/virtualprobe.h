// Test- and demo-facing control of the virtual probe: a probe emulator with a simulated target chip
// that sits behind the hidapi functions the host calls. Tests link it in place of hidapi; the
// preloaded library drives the same emulator for the real application.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vprobe {

// How the reply to one command is spoiled (fault injection).
enum class ReplyFault {
    Withhold, // `count` reads time out (return 0), then the reply arrives; -1: it never does
    Short, // the read returns 63 bytes
    Long, // the read returns 65 bytes
    WrongEcho, // byte 0 of the reply differs from the command
    Status, // byte 1 of the reply is replaced by `value`
};

struct TraceEntry
{
    enum class Kind { Open, Close, Manufacturer, Product, Write, Read, Serial };
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
    // Extension: the USB ids hid_open matches (a probe of other ids is "not there").
    uint16_t vendorId = 0x0D28;
    uint16_t productId = 0x0204;
};

// Extension: status byte of a reply that refuses a vendor report; byte 0 still echoes the command.
// The read-backs 0x91 and 0x8F refuse with 0xFF (read error) instead, the only refusal they have.
// A refused report also abandons the job in progress: its later reports are refused as out of
// order.
enum Refusal : uint8_t {
    BadChecksum = 0xE1,
    BadLayout = 0xE2, // a field out of range, a non-zero padding byte, a wrong block or length
    OutOfOrder = 0xE3, // e.g. erase before settings, image data outside an image
    DigestMismatch = 0xE4, // image MD5 differs from the data received
    Protected = 0xE5, // the chip is read-protected and the command needs access to it
    VerifyFailed = 0xE6, // verify was asked and the flash does not hold the image
    OutsideFlash = 0xE7, // an image page or the rolling code lies outside main flash and LDROM
    NoTarget = 0xE8, // no chip is attached: nothing answers the debug port
};

// The simulated target as the probe sees it through its debug port.
struct ChipState
{
    int model = 2; // model code the chip check reports
    uint32_t deviceId = 0x00484B48; // 0 makes the chip detect read "no device"
    uint8_t bootSource = 2; // 1 LDROM, 2 APROM
    bool detectionError = false; // chip check reports a detection error (0xA in the high nibble)
    // A full erase lifts protection except level 2, which is permanent: the flash is erased but
    // the chip stays protected and refuses programming and read-back.
    bool readProtected = false;
    int appliedProtectLevel = 0; // level applied by the last finished job
};

class VirtualProbe
{
public:
    static constexpr int maxProbes = 64;

    static VirtualProbe &instance(); // probe 0
    // Probe `index` (0 .. maxProbes - 1, clamped), created on first use and never destroyed.
    static VirtualProbe &probe(int index);
    // How many probes are plugged in the bus sense: probes 0 .. n-1 are enumerated and can be
    // opened (1 by default; clamped to 1 .. maxProbes). The others keep their state and open
    // handles but can no longer be found or opened.
    static void setCount(int n);
    static int count();

    // Fixed per index: path "vprobe:<index>", serial "QVP" and index + 1 in eight digits.
    int index() const;
    std::string path() const;
    std::wstring serialNumber() const;
    static std::wstring serialNumberOf(int index); // also what a CMSIS-DAP probe k reports

    // A present, accepted probe (firmware 1.97), a blank QB48 chip, no faults, empty trace.
    void reset();

    ProbeIdentity identity() const;
    void setIdentity(const ProbeIdentity &identity);
    ChipState chip() const;
    void setChip(const ChipState &chip);

    // Plugging.
    void setPresent(bool present); // absent: hid_open returns null, enumeration leaves it out
    bool present() const;
    void unplugNow(); // open handles fail from now on; hid_open returns null
    // The n-th further report is written (hid_write returns 65) but the probe vanishes before it
    // acts on it: that read, and everything after, fails with -1. n <= 0 cancels.
    void unplugAfterReports(int n);

    // The chip in the probe's fixture. Removed: the chip detect reads device id 0 and every other
    // chip command is refused (NoTarget), abandoning a job in progress. Attached again: a fresh
    // chip of the same kind, unprotected and, unless `keepFlash`, blank.
    void setChipAttached(bool attached, bool keepFlash = false);
    bool chipAttached() const;

    // Faults, consumed by the next reply to `command` (0x00 for DAP_Info). Withhold: `count` reads
    // time out before the reply arrives (-1: it never does). The others spoil the next `count`
    // replies to `command`. The probe still acts on the report: only its answer is lost or spoilt.
    void failNext(uint8_t command, ReplyFault fault, int count = 1, uint8_t value = 0);
    // The next reply to `command` is these bytes verbatim (at most 65); their size is what the read
    // returns. Queue two for one command and a host that reads again after the first (without
    // writing) gets the second: a probe that sends more than one report. Faults do not apply.
    void queueReply(uint8_t command, const std::vector<uint8_t> &reply);

    // Latency per read: virtual (recorded only) by default; real sleeps for demos and benchmarks.
    // realTime also makes a read that times out sleep for its time-out.
    void setLatencyMicroseconds(int perRead, bool realTime);
    // Sum of the time-outs of reads that timed out, plus the virtual latency of answered reads.
    uint64_t virtualTimeMs() const;
    // Real time the probe spent sleeping in real-time mode (latency and time-outs), measured on the
    // monotonic clock since reset(): what a benchmark takes off the wall clock to see the host.
    uint64_t waitedNanoseconds() const;

    // Inspection.
    std::vector<TraceEntry> trace() const;
    std::vector<uint8_t> commandsWritten() const; // byte 1 of every written report, in order
    void clearTrace();
    // Extension: why the probe refused its last refused report ("0x9E: bad checksum"); empty if
    // none since reset().
    std::string lastRefusal() const;
    // Extension: also append every trace entry as one text line to this file ("" stops); the
    // preloaded library sets it from QUORVEL_VPROBE_TRACE.
    void setTraceFile(const std::string &path);
    // Extension: keep only the newest `maxEntries` trace entries (0, the default after reset():
    // keep all). The preloaded library keeps 100000 so a long demo session stays small.
    void setTraceLimit(size_t maxEntries);

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
        // Extension: the rolling-code series the probe follows. A 0x9A report whose address, value
        // and step equal the series' address, first value and step continues it (writes
        // rollingCodeNext); any other starts a new series at the report's value. A finished job
        // advances rollingCodeNext by the step; a job that fails before 0x9F does not.
        bool rollingCodeActive = false;
        uint32_t rollingCodeAddress = 0;
        uint32_t rollingCodeFirst = 0;
        uint32_t rollingCodeStep = 0;
    };
    StoredJob storedJob() const;

private:
    explicit VirtualProbe(int index);
    VirtualProbe(const VirtualProbe &) = delete; // one emulator per index
    VirtualProbe &operator=(const VirtualProbe &) = delete;
    struct State;
    State *d;
    friend struct HidFront;
};

// Reads QUORVEL_VPROBE_* environment variables into the probe count and every probe (used by the
// preloaded library); see README.
void configureFromEnvironment();
// Applies the lines added to the QUORVEL_VPROBE_CONTROL file since the last call ("k chip 1|0");
// the preloaded library calls it before each report it is given. See README.
void applyControlFile();
// True when probe k's flash is kept in a QUORVEL_VPROBE_FLASH_FILE (a chip put back keeps it).
bool flashFileKept(int k);
// Loads each probe's flash from its file (an empty name: not kept) and saves them all at exit.
void keepFlashFiles(const std::vector<std::string> &files);

} // namespace vprobe
