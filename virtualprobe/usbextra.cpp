// The rest of the libusb surface OpenOCD's and Quorvel's bulk back ends call: configuration,
// ports, kernel drivers, control requests for string descriptors, error texts, and asynchronous
// transfers completed inside the event handlers, as libusb completes them.
#include "usbdevices.h"
#include "virtualprobe.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

namespace {

using vprobe::bulkProbe;
using vprobe::CmsisDapProbe;

std::mutex transfersMutex;
std::deque<libusb_transfer *> submitted; // in order, not yet called back
std::array<int, CmsisDapProbe::kMaxProbes> configurations{};

struct ErrorText
{
    int code;
    const char *name, *text;
};
const ErrorText kErrors[] = {
    {LIBUSB_SUCCESS, "LIBUSB_SUCCESS / LIBUSB_TRANSFER_COMPLETED", "Success"},
    {LIBUSB_ERROR_IO, "LIBUSB_ERROR_IO", "Input/Output Error"},
    {LIBUSB_ERROR_INVALID_PARAM, "LIBUSB_ERROR_INVALID_PARAM", "Invalid parameter"},
    {LIBUSB_ERROR_ACCESS, "LIBUSB_ERROR_ACCESS", "Access denied (insufficient permissions)"},
    {LIBUSB_ERROR_NO_DEVICE, "LIBUSB_ERROR_NO_DEVICE",
     "No such device (it may have been disconnected)"},
    {LIBUSB_ERROR_NOT_FOUND, "LIBUSB_ERROR_NOT_FOUND", "Entity not found"},
    {LIBUSB_ERROR_BUSY, "LIBUSB_ERROR_BUSY", "Resource busy"},
    {LIBUSB_ERROR_TIMEOUT, "LIBUSB_ERROR_TIMEOUT", "Operation timed out"},
    {LIBUSB_ERROR_OVERFLOW, "LIBUSB_ERROR_OVERFLOW", "Overflow"},
    {LIBUSB_ERROR_PIPE, "LIBUSB_ERROR_PIPE", "Pipe error"},
    {LIBUSB_ERROR_INTERRUPTED, "LIBUSB_ERROR_INTERRUPTED",
     "System call interrupted (perhaps due to signal)"},
    {LIBUSB_ERROR_NO_MEM, "LIBUSB_ERROR_NO_MEM", "Insufficient memory"},
    {LIBUSB_ERROR_NOT_SUPPORTED, "LIBUSB_ERROR_NOT_SUPPORTED",
     "Operation not supported or unimplemented on this platform"},
    {LIBUSB_ERROR_OTHER, "LIBUSB_ERROR_OTHER", "Other error"},
};
const char *const kTransferNames[] = {"LIBUSB_SUCCESS / LIBUSB_TRANSFER_COMPLETED",
                                      "LIBUSB_TRANSFER_ERROR",
                                      "LIBUSB_TRANSFER_TIMED_OUT",
                                      "LIBUSB_TRANSFER_CANCELLED",
                                      "LIBUSB_TRANSFER_STALL",
                                      "LIBUSB_TRANSFER_NO_DEVICE",
                                      "LIBUSB_TRANSFER_OVERFLOW"};

const ErrorText *errorText(int code)
{
    const auto *e = std::find_if(std::begin(kErrors), std::end(kErrors),
                                 [code](const ErrorText &t) { return t.code == code; });
    return e == std::end(kErrors) ? nullptr : e;
}

libusb_transfer_status transferStatus(int result)
{
    switch (result) {
    case 0:
        return LIBUSB_TRANSFER_COMPLETED;
    case LIBUSB_ERROR_TIMEOUT:
        return LIBUSB_TRANSFER_TIMED_OUT;
    case LIBUSB_ERROR_PIPE:
        return LIBUSB_TRANSFER_STALL;
    case LIBUSB_ERROR_NO_DEVICE:
        return LIBUSB_TRANSFER_NO_DEVICE;
    case LIBUSB_ERROR_OVERFLOW:
        return LIBUSB_TRANSFER_OVERFLOW;
    default:
        return LIBUSB_TRANSFER_ERROR;
    }
}

// What a submitted transfer carries besides the public fields: kept in the same allocation.
struct TransferState
{
    bool submitted = false;
    bool cancelled = false;
    bool done = false; // an OUT transfer went at submission; its callback is still due
    unsigned waitedMs = 0;
};

TransferState &stateOf(libusb_transfer *transfer)
{
    return *reinterpret_cast<TransferState *>(reinterpret_cast<char *>(transfer)
                                              - sizeof(TransferState));
}

void callBack(libusb_transfer *transfer)
{
    const bool freeIt = transfer->flags & LIBUSB_TRANSFER_FREE_TRANSFER;
    stateOf(transfer).submitted = false;
    if (transfer->callback)
        transfer->callback(transfer);
    if (freeIt)
        libusb_free_transfer(transfer);
}

// Calls back every finished or cancelled transfer, in order. False when none was.
bool callBackFinished()
{
    std::unique_lock<std::mutex> lock(transfersMutex);
    bool any = false;
    for (auto it = submitted.begin(); it != submitted.end();) {
        libusb_transfer *t = *it;
        TransferState &state = stateOf(t);
        if (!state.done && !state.cancelled) {
            ++it;
            continue;
        }
        if (state.cancelled)
            t->status = LIBUSB_TRANSFER_CANCELLED;
        submitted.erase(it);
        lock.unlock();
        callBack(t);
        lock.lock();
        any = true;
        it = submitted.begin(); // a callback may have submitted or cancelled others
    }
    return any;
}

// The oldest IN transfer waits up to `waitMs` (-1: until it is answered) for its reply, within
// its own time-out. True when it finished.
bool waitForIn(int waitMs)
{
    std::unique_lock<std::mutex> lock(transfersMutex);
    const auto it = std::find_if(submitted.begin(), submitted.end(), [](libusb_transfer *t) {
        return (t->endpoint & LIBUSB_ENDPOINT_IN) && !stateOf(t).done && !stateOf(t).cancelled;
    });
    if (it == submitted.end())
        return false;
    libusb_transfer *t = *it;
    TransferState &state = stateOf(t);
    int wait = waitMs;
    if (t->timeout) {
        const int left = int(t->timeout - std::min(t->timeout, state.waitedMs));
        wait = wait < 0 ? left : std::min(wait, left);
    }
    lock.unlock();
    CmsisDapProbe *probe = bulkProbe(t->dev_handle->probe);
    int result = LIBUSB_ERROR_NO_DEVICE;
    if (probe && t->dev_handle->claimed)
        result = probe->bulkRead(t->buffer, t->length, &t->actual_length, wait);
    else if (probe)
        result = LIBUSB_ERROR_NOT_FOUND;
    lock.lock();
    state.waitedMs += unsigned(std::max(wait, 0));
    if (result == LIBUSB_ERROR_TIMEOUT && !(t->timeout && state.waitedMs >= t->timeout))
        return false; // still pending
    t->status = transferStatus(result);
    state.done = true;
    return true;
}

bool handleEvents(int waitMs, int *completed)
{
    if (completed && *completed)
        return false;
    bool any = callBackFinished();
    if (!any && !(completed && *completed) && waitForIn(waitMs))
        any = callBackFinished();
    return any;
}

} // namespace

extern "C" {

const char *LIBUSB_CALL libusb_error_name(int code)
{
    if (code > 0 && code < int(std::size(kTransferNames)))
        return kTransferNames[code];
    const ErrorText *e = errorText(code);
    return e ? e->name : "**UNKNOWN**";
}

const char *LIBUSB_CALL libusb_strerror(int code)
{
    const ErrorText *e = errorText(code);
    return e ? e->text : "Unknown error";
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device *device, uint8_t index,
                                             struct libusb_config_descriptor **config)
{
    if (index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    return libusb_get_active_config_descriptor(device, config);
}

int LIBUSB_CALL libusb_get_configuration(libusb_device_handle *handle, int *config)
{
    if (!handle || !bulkProbe(handle->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    const int set = configurations[size_t(handle->probe)];
    if (config)
        *config = set < 0 ? 0 : 1; // configured by the kernel at enumeration
    return 0;
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle *handle, int configuration)
{
    if (!handle || !bulkProbe(handle->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    if (configuration != 1 && configuration != 0 && configuration != -1)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed)
        return LIBUSB_ERROR_BUSY;
    configurations[size_t(handle->probe)] = configuration == 1 ? 0 : -1;
    return 0;
}

libusb_device *LIBUSB_CALL libusb_get_device(libusb_device_handle *handle)
{
    return handle ? handle->device : nullptr;
}

int LIBUSB_CALL libusb_get_port_numbers(libusb_device *device, uint8_t *ports, int length)
{
    if (!device || !ports || length < 1)
        return LIBUSB_ERROR_OVERFLOW;
    ports[0] = uint8_t(device->probe + 1); // each probe on its own port of the root hub
    return 1;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle *handle, int interfaceNumber)
{
    const int active = libusb_kernel_driver_active(handle, interfaceNumber);
    return active < 0 ? active : active ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle *handle, int)
{
    return handle ? 0 : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle *handle, int interfaceNumber,
                                                 int alternate)
{
    if (!handle || !bulkProbe(handle->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    if (interfaceNumber != vprobe::kUsbInterface || !handle->claimed)
        return LIBUSB_ERROR_NOT_FOUND;
    return alternate == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND; // one alternate setting only
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle *handle)
{
    CmsisDapProbe *probe = handle ? bulkProbe(handle->probe) : nullptr;
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    probe->dropUnreadReplies(); // a bus reset empties the probe's IN buffers
    return 0;
}

// Only the standard GET_DESCRIPTOR request for strings is answered; the rest stall.
int LIBUSB_CALL libusb_control_transfer(libusb_device_handle *handle, uint8_t requestType,
                                        uint8_t request, uint16_t value, uint16_t index,
                                        unsigned char *data, uint16_t length, unsigned int)
{
    if (!handle || !bulkProbe(handle->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    if (requestType != LIBUSB_ENDPOINT_IN || request != LIBUSB_REQUEST_GET_DESCRIPTOR
        || (value >> 8) != LIBUSB_DT_STRING)
        return LIBUSB_ERROR_PIPE;
    std::vector<uint8_t> descriptor{4, LIBUSB_DT_STRING, 0x09, 0x04}; // US English
    std::string text;
    if ((value & 0xFF) != 0) {
        if (!vprobe::usbString(handle->probe, uint8_t(value), text))
            return LIBUSB_ERROR_PIPE;
        descriptor = {uint8_t(2 + 2 * text.size()), LIBUSB_DT_STRING};
        for (char c : text)
            descriptor.insert(descriptor.end(), {uint8_t(c), 0});
    }
    (void)index;
    const size_t n = std::min<size_t>(length, descriptor.size());
    if (data && n)
        std::memcpy(data, descriptor.data(), n);
    return int(n);
}

struct libusb_transfer *LIBUSB_CALL libusb_alloc_transfer(int isoPackets)
{
    if (isoPackets < 0)
        return nullptr;
    const size_t size = sizeof(TransferState) + sizeof(libusb_transfer)
        + size_t(isoPackets) * sizeof(libusb_iso_packet_descriptor);
    char *memory = static_cast<char *>(std::calloc(1, size));
    if (!memory)
        return nullptr;
    new (memory) TransferState;
    auto *transfer = reinterpret_cast<libusb_transfer *>(memory + sizeof(TransferState));
    transfer->num_iso_packets = isoPackets;
    return transfer;
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer *transfer)
{
    if (!transfer)
        return;
    if (transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER)
        std::free(transfer->buffer);
    std::free(reinterpret_cast<char *>(transfer) - sizeof(TransferState));
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer *transfer)
{
    if (!transfer || !transfer->dev_handle)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (transfer->type != LIBUSB_TRANSFER_TYPE_BULK)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    TransferState &state = stateOf(transfer);
    if (state.submitted)
        return LIBUSB_ERROR_BUSY;
    if (!bulkProbe(transfer->dev_handle->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    state = TransferState{};
    state.submitted = true;
    transfer->actual_length = 0;
    if (!(transfer->endpoint & LIBUSB_ENDPOINT_IN)) {
        // The OUT packets go now; the callback comes from the next event handling.
        const int result = vprobe::bulkTransfer(
            transfer->dev_handle, transfer->endpoint, transfer->buffer, transfer->length,
            &transfer->actual_length, transfer->timeout ? int(transfer->timeout) : -1);
        transfer->status = transferStatus(result);
        state.done = true;
    }
    std::lock_guard<std::mutex> lock(transfersMutex);
    submitted.push_back(transfer);
    return 0;
}

int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer *transfer)
{
    std::lock_guard<std::mutex> lock(transfersMutex);
    if (!transfer || std::find(submitted.begin(), submitted.end(), transfer) == submitted.end())
        return LIBUSB_ERROR_NOT_FOUND;
    TransferState &state = stateOf(transfer);
    if (state.done)
        return LIBUSB_ERROR_NOT_FOUND; // already completed, its callback still due
    state.cancelled = true;
    return 0;
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context *, struct timeval *tv,
                                                       int *completed)
{
    const int waitMs = tv ? int(tv->tv_sec * 1000 + tv->tv_usec / 1000) : -1;
    handleEvents(waitMs, completed);
    return 0;
}

int LIBUSB_CALL libusb_handle_events_timeout(libusb_context *context, struct timeval *tv)
{
    return libusb_handle_events_timeout_completed(context, tv, nullptr);
}

int LIBUSB_CALL libusb_handle_events_completed(libusb_context *, int *completed)
{
    // Blocks until a reply completes the oldest IN transfer, as libusb does without a time-out.
    handleEvents(-1, completed);
    return 0;
}

int LIBUSB_CALL libusb_handle_events(libusb_context *context)
{
    return libusb_handle_events_completed(context, nullptr);
}

} // extern "C"
