// The libusb functions the host calls, answered by the virtual CMSIS-DAP probe's v2 interface.
// Linked into tests beside the hidapi front, or preloaded into the real program in front of
// libusb, so the host code cannot tell the difference. Only v2 probes (QUORVEL_VPROBE_USB fs-bulk
// or hs-bulk) are on this bus, device k being the same as HID probe k.
#include "hidfront.h"
#include "usbdevices.h"
#include "virtualprobe.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

using vprobe::CmsisDapProbe;
using vprobe::kUsbIn;
using vprobe::kUsbInterface;
using vprobe::kUsbOut;
using vprobe::kUsbSwo;
enum StringIndex : uint8_t { kManufacturer = 1, kProduct, kSerial, kInterfaceName };

libusb_context theContext;
libusb_device theDevices[CmsisDapProbe::kMaxProbes]; // probe k at bus 1, address 7 + k
std::array<bool, CmsisDapProbe::kMaxProbes> claimedByAnyone{};

std::string ascii(const std::wstring &text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

namespace vprobe {

CmsisDapProbe *bulkProbe(int k)
{
    if (k < 0 || k >= VirtualProbe::count() || !VirtualProbe::probe(k).present())
        return nullptr;
    CmsisDapProbe *probe = CmsisDapProbe::active(k);
    return probe && probe->hasBulk() ? probe : nullptr;
}

bool usbString(int k, uint8_t index, std::string &text)
{
    const VirtualProbe &probe = VirtualProbe::probe(k);
    switch (index) {
    case kManufacturer:
        text = ascii(probe.identity().manufacturer);
        return true;
    case kProduct:
        text = ascii(probe.identity().product);
        return true;
    case kSerial:
        text = ascii(probe.serialNumber());
        return true;
    case kInterfaceName:
        text = "Quorvel CMSIS-DAP v2";
        return true;
    default:
        return false;
    }
}

int bulkTransfer(libusb_device_handle *handle, unsigned char endpoint, unsigned char *data,
                 int length, int *transferred, int timeoutMs)
{
    if (transferred)
        *transferred = 0;
    CmsisDapProbe *probe = handle ? bulkProbe(handle->probe) : nullptr;
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!handle->claimed || (endpoint != kUsbOut && endpoint != kUsbIn))
        return LIBUSB_ERROR_NOT_FOUND;
    int done = 0;
    const int result = endpoint == kUsbOut ? probe->bulkWrite(data, length, &done)
                                           : probe->bulkRead(data, length, &done, timeoutMs);
    if (transferred)
        *transferred = done;
    auto &s = HidFront::state(VirtualProbe::probe(handle->probe));
    Lock lock(s.mutex);
    TraceEntry entry{endpoint == kUsbOut ? TraceEntry::Kind::Write : TraceEntry::Kind::Read,
                     {},
                     timeoutMs,
                     result == 0 ? done : result};
    if (data)
        entry.data.assign(data, data + done);
    s.record(std::move(entry));
    return result;
}

} // namespace vprobe

using vprobe::bulkProbe;

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context **context)
{
    hid_init(); // the preloaded library configures itself on first use
    if (context)
        *context = &theContext;
    return 0;
}

void LIBUSB_CALL libusb_exit(libusb_context *) { }

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    const int count = vprobe::VirtualProbe::count();
    libusb_device **devices = new libusb_device *[size_t(count) + 1];
    ssize_t n = 0;
    for (int k = 0; k < count; ++k) {
        if (!bulkProbe(k))
            continue;
        theDevices[k] = {1, uint8_t(7 + k), k};
        devices[n++] = &theDevices[k];
    }
    devices[n] = nullptr;
    *list = devices;
    return n;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device **list, int)
{
    delete[] list;
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device *device)
{
    return device->bus;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device *device)
{
    return device->address;
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device *device,
                                             struct libusb_device_descriptor *descriptor)
{
    CmsisDapProbe *probe = bulkProbe(device->probe);
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    const vprobe::ProbeIdentity id = vprobe::VirtualProbe::probe(device->probe).identity();
    *descriptor = libusb_device_descriptor{};
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = probe->usb() == CmsisDapProbe::Usb::HsBulk ? 0x0200 : 0x0110;
    descriptor->bMaxPacketSize0 = 64;
    descriptor->idVendor = id.vendorId;
    descriptor->idProduct = id.productId;
    descriptor->iManufacturer = kManufacturer;
    descriptor->iProduct = kProduct;
    descriptor->iSerialNumber = kSerial;
    descriptor->bNumConfigurations = 1;
    return 0;
}

// Interface 0: v1 HID (two interrupt endpoints); interface 1: v2 (bulk OUT, bulk IN, SWO IN).
int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device *device,
                                                    struct libusb_config_descriptor **config)
{
    CmsisDapProbe *probe = bulkProbe(device->probe);
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    const uint16_t bulkSize = probe->bulkPacketSize();
    auto *hidEndpoints = new libusb_endpoint_descriptor[2]{};
    hidEndpoints[0].bEndpointAddress = 0x81;
    hidEndpoints[1].bEndpointAddress = 0x01;
    for (int i = 0; i < 2; ++i) {
        hidEndpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_INTERRUPT;
        hidEndpoints[i].wMaxPacketSize = 64;
        hidEndpoints[i].bInterval = 1;
    }
    auto *bulkEndpoints = new libusb_endpoint_descriptor[3]{};
    const uint8_t addresses[] = {kUsbOut, kUsbIn, kUsbSwo};
    for (int i = 0; i < 3; ++i) {
        bulkEndpoints[i].bEndpointAddress = addresses[i];
        bulkEndpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        bulkEndpoints[i].wMaxPacketSize = bulkSize;
    }
    auto *alternates = new libusb_interface_descriptor[2]{};
    alternates[0].bInterfaceNumber = 0;
    alternates[0].bNumEndpoints = 2;
    alternates[0].bInterfaceClass = LIBUSB_CLASS_HID;
    alternates[0].endpoint = hidEndpoints;
    alternates[1].bInterfaceNumber = kUsbInterface;
    alternates[1].bNumEndpoints = 3;
    alternates[1].bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    alternates[1].iInterface = kInterfaceName;
    alternates[1].endpoint = bulkEndpoints;
    auto *interfaces = new libusb_interface[2]{};
    interfaces[0] = {&alternates[0], 1};
    interfaces[1] = {&alternates[1], 1};
    *config = new libusb_config_descriptor{};
    (*config)->bNumInterfaces = 2;
    (*config)->bConfigurationValue = 1;
    (*config)->interface = interfaces;
    return 0;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor *config)
{
    if (!config)
        return;
    delete[] config->interface[0].altsetting[0].endpoint;
    delete[] config->interface[1].altsetting[0].endpoint;
    delete[] config->interface[0].altsetting;
    delete[] config->interface;
    delete config;
}

int LIBUSB_CALL libusb_open(libusb_device *device, libusb_device_handle **handle)
{
    if (!bulkProbe(device->probe))
        return LIBUSB_ERROR_NO_DEVICE;
    *handle = new libusb_device_handle{false, device->probe, device};
    return 0;
}

void LIBUSB_CALL libusb_close(libusb_device_handle *handle)
{
    if (handle && handle->claimed)
        claimedByAnyone[size_t(handle->probe)] = false;
    if (handle)
        if (vprobe::CmsisDapProbe *dap = vprobe::CmsisDapProbe::active(handle->probe))
            dap->hostClosed();
    delete handle;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle *handle, uint8_t index,
                                                   unsigned char *data, int length)
{
    std::string text;
    if (!handle || !vprobe::usbString(handle->probe, index, text))
        return LIBUSB_ERROR_INVALID_PARAM;
    if (!data || length < 1)
        return LIBUSB_ERROR_INVALID_PARAM;
    const int n = std::min(int(text.size()), length - 1);
    std::memcpy(data, text.data(), size_t(n));
    data[n] = 0;
    return n;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle *handle, int interfaceNumber)
{
    CmsisDapProbe *probe = bulkProbe(handle->probe);
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    // hidraw drives interface 0; interface 1 is free unless a test says otherwise.
    return interfaceNumber == 0 || probe->bulkFault() == CmsisDapProbe::BulkFault::KernelDriver;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle *handle, int interfaceNumber)
{
    CmsisDapProbe *probe = bulkProbe(handle->probe);
    if (!probe)
        return LIBUSB_ERROR_NO_DEVICE;
    if (interfaceNumber != kUsbInterface)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed)
        return 0;
    bool &claimed = claimedByAnyone[size_t(handle->probe)];
    if (claimed || probe->bulkFault() == CmsisDapProbe::BulkFault::Busy)
        return LIBUSB_ERROR_BUSY;
    handle->claimed = claimed = true;
    return 0;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle *handle, int interfaceNumber)
{
    if (interfaceNumber != kUsbInterface || !handle->claimed)
        return LIBUSB_ERROR_NOT_FOUND;
    handle->claimed = claimedByAnyone[size_t(handle->probe)] = false;
    return 0;
}

int LIBUSB_CALL libusb_clear_halt(libusb_device_handle *handle, unsigned char)
{
    return bulkProbe(handle->probe) ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle *handle, unsigned char endpoint,
                                     unsigned char *data, int length, int *transferred,
                                     unsigned int timeout)
{
    // Zero is no time-out at all in libusb.
    return vprobe::bulkTransfer(handle, endpoint, data, length, transferred,
                                timeout ? int(timeout) : -1);
}

} // extern "C"
