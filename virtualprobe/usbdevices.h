// The libusb objects of the virtual bus, shared by the synchronous and the asynchronous half of
// the libusb front.
#pragma once

#include "cmsisdap/cmsisdapprobe.h"

#include <libusb.h>

struct libusb_context
{
    int unused;
};
struct libusb_device
{
    uint8_t bus, address;
    int probe;
};
struct libusb_device_handle
{
    bool claimed;
    int probe;
    libusb_device *device;
};

namespace vprobe {

constexpr uint8_t kUsbInterface = 1; // interface 0 is the v1 HID one
constexpr uint8_t kUsbOut = 0x02, kUsbIn = 0x82, kUsbSwo = 0x83;

// Probe k's v2 interface while it is plugged in.
CmsisDapProbe *bulkProbe(int k);
// String descriptor `index` of probe k; false when there is none.
bool usbString(int k, uint8_t index, std::string &text);
// A bulk transfer with a time-out in ms (-1: none, 0: only what is there already).
int bulkTransfer(libusb_device_handle *handle, unsigned char endpoint, unsigned char *data,
                 int length, int *transferred, int timeoutMs);

} // namespace vprobe
