// CMSIS-DAP v2: each packet is one bulk transfer, ended by a short packet or by its full size.
#include "swd/link/daptransport.h"
#include "swd/swdresult.h"

#include <QElapsedTimer>
#include <libusb.h>

namespace {

constexpr unsigned kSendTimeoutMs = 1000;

// What a failed transfer means for the run: the code and an English message.
int failure(int status, const char *direction, QString &error)
{
    switch (status) {
    case LIBUSB_ERROR_NO_DEVICE:
        error = QStringLiteral("probe disconnected (%1 failed)").arg(QLatin1String(direction));
        return SwdProbeLost;
    case LIBUSB_ERROR_TIMEOUT:
        error = QStringLiteral("probe did not take the %1 within %2 ms")
                    .arg(QLatin1String(direction))
                    .arg(kSendTimeoutMs);
        return SwdProbeTimeout;
    case LIBUSB_ERROR_OVERFLOW:
        error = QStringLiteral("probe sent a reply longer than its packet size");
        return SwdBadReply;
    case LIBUSB_ERROR_PIPE:
        error = QStringLiteral("probe stalled the bulk %1 endpoint").arg(QLatin1String(direction));
        return SwdNotSwd;
    default:
        error = QStringLiteral("USB %1 failed: %2")
                    .arg(QLatin1String(direction), QLatin1String(libusb_error_name(status)));
        return SwdProbeLost;
    }
}

} // namespace

int BulkTransport::send(const uint8_t *data, size_t length, QString &error)
{
    int done = 0;
    const int status = libusb_bulk_transfer(m_handle, m_out, const_cast<uint8_t *>(data),
                                            int(length), &done, kSendTimeoutMs);
    if (status == LIBUSB_ERROR_PIPE)
        libusb_clear_halt(m_handle, m_out); // so that whoever comes next finds it usable
    if (status != 0)
        return failure(status, "write", error);
    if (done != int(length)) {
        error = QStringLiteral("probe took %1 of %2 bytes").arg(done).arg(length);
        return SwdProbeLost;
    }
    return SwdOk;
}

int BulkTransport::receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error)
{
    // Zero-length packets end nothing the host asked for: skipped while the time-out lasts.
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0)
            return 0;
        int done = 0;
        const int status =
            libusb_bulk_transfer(m_handle, m_in, data, int(capacity), &done, unsigned(left));
        if (status == LIBUSB_ERROR_TIMEOUT)
            return done; // a reply cut short is the pipe's to refuse
        if (status == LIBUSB_ERROR_PIPE)
            libusb_clear_halt(m_handle, m_in);
        if (status != 0)
            return -failure(status, "read", error);
        if (done > 0)
            return done;
    }
}
