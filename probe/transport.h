// The one exchange routine every probe command uses: one 65-byte output report written, one
// 64-byte input report read back.
#pragma once

#include <cstdint>

#include <hidapi/hidapi.h>

namespace probe {

// hid_write counts the report id byte, so a whole report is 65.
bool writeReport(hid_device *device, const uint8_t *out);
// Asks for up to 65 bytes into `in`; only exactly 64 is a reply (0 is a time-out, -1 an error,
// anything else a malformed report). `in` must hold 65 bytes; its byte 64 is left 0.
bool readReport(hid_device *device, uint8_t *in, int timeoutMs);
bool exchange(hid_device *device, const uint8_t *out, uint8_t *in, int timeoutMs);

// Sees every report the calling thread is about to write: lets a runner that drives several probes
// follow each job and stop it between exchanges without touching the job record.
class ReportGate
{
public:
    virtual ~ReportGate() = default;
    // false refuses the report: nothing is written and the write fails like a lost probe.
    virtual bool beforeWrite(const uint8_t *out) = 0;
};

// For the calling thread only; nullptr removes it.
void setReportGate(ReportGate *gate);

} // namespace probe
