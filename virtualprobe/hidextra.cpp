// The rest of the hidapi surface other hosts call: blocking and non-blocking reads, indexed
// strings, feature and input reports (a CMSIS-DAP interface has none), the device's own entry and
// the library version.
#include "hidfront.h"

using vprobe::HidFront;
using vprobe::VirtualProbe;

namespace {

// String descriptor indices of the probe, as its USB descriptors number them.
enum : int { kManufacturer = 1, kProduct, kSerial };

} // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    bool nonblocking = false;
    {
        auto &s = HidFront::stateOf(dev);
        vprobe::Lock lock(s.mutex);
        nonblocking = s.alive(dev) && dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    auto &s = HidFront::stateOf(dev);
    vprobe::Lock lock(s.mutex);
    if (!s.alive(dev))
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *dev, int string_index, wchar_t *string,
                                               size_t maxlen)
{
    switch (string_index) {
    case kManufacturer:
        return hid_get_manufacturer_string(dev, string, maxlen);
    case kProduct:
        return hid_get_product_string(dev, string, maxlen);
    case kSerial:
        return hid_get_serial_number_string(dev, string, maxlen);
    default:
        return -1; // the device stalls a request for a string it does not have
    }
}

// The probe's report descriptor declares input and output reports only: the device stalls
// requests for the others, and hidapi returns -1.
int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *,
                                                        size_t)
{
    HidFront::stateOf(dev); // the library configures itself on first use, whatever the call
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *dev, unsigned char *, size_t)
{
    HidFront::stateOf(dev);
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *dev, unsigned char *, size_t)
{
    HidFront::stateOf(dev);
    return -1;
}

struct hid_device_info *HID_API_EXPORT HID_API_CALL hid_get_device_info(hid_device *dev)
{
    auto &s = HidFront::stateOf(dev);
    vprobe::Lock lock(s.mutex);
    if (!s.alive(dev))
        return nullptr;
    if (!dev->info) {
        VirtualProbe &probe = VirtualProbe::probe(s.index);
        dev->info = vprobe::deviceInfo(probe, s.firmware.identity);
    }
    return dev->info;
}

HID_API_EXPORT const struct hid_api_version *HID_API_CALL hid_version(void)
{
    static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                         HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"
