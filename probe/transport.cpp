// HID write/read with the length rules of the probe link.
#include "transport.h"

#include "reports.h"

namespace probe {

namespace {
thread_local ReportGate *threadGate = nullptr;
} // namespace

void setReportGate(ReportGate *gate)
{
    threadGate = gate;
}

bool writeReport(hid_device *device, const uint8_t *out)
{
    // A closed record has no handle; hidapi would dereference it.
    if (!device)
        return false;
    if (threadGate && !threadGate->beforeWrite(out))
        return false;
    return hid_write(device, out, reportSize) == reportSize;
}

bool readReport(hid_device *device, uint8_t *in, int timeoutMs)
{
    if (!device)
        return false;
    const int got = hid_read_timeout(device, in, reportSize, timeoutMs);
    // An over-long read lands its extra byte here; keep the spare byte clean for the next reply.
    in[replySize] = 0;
    return got == replySize;
}

bool exchange(hid_device *device, const uint8_t *out, uint8_t *in, int timeoutMs)
{
    return writeReport(device, out) && readReport(device, in, timeoutMs);
}

} // namespace probe
