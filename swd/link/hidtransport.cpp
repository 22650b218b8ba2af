// CMSIS-DAP v1: each packet is one HID report.
#include "swd/link/daptransport.h"
#include "swd/swdresult.h"

#include <hidapi/hidapi.h>

#include <algorithm>

int HidTransport::send(const uint8_t *data, size_t length, QString &error)
{
    unsigned char report[kMaxReportSize + 1] = {0};
    const size_t size = size_t(m_reportSize) + 1;
    std::copy(data, data + std::min(length, size - 1), report + 1);
    if (hid_write(m_device, report, size) == int(size))
        return SwdOk;
    error = QStringLiteral("probe disconnected (write failed)");
    return SwdProbeLost;
}

int HidTransport::receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error)
{
    const int n = hid_read_timeout(m_device, data, capacity, timeoutMs);
    if (n >= 0)
        return n;
    error = QStringLiteral("probe disconnected (read failed)");
    return -SwdProbeLost;
}
