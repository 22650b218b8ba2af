// Probe enumeration over hidapi, and connecting to one probe by its path.
#include "probelist.h"

#include "download.h"

#include <hidapi/hidapi.h>

namespace {

constexpr uint16_t probeVendorId = 0x0D28;
constexpr uint16_t probeProductId = 0x0204;

QString text(const wchar_t *string)
{
    return string ? QString::fromWCharArray(string) : QString();
}

} // namespace

std::vector<ProbeInfo> listProbes()
{
    std::vector<ProbeInfo> probes;
    hid_device_info *devices = hid_enumerate(probeVendorId, probeProductId);
    for (const hid_device_info *i = devices; i; i = i->next) {
        ProbeInfo info;
        info.path = QByteArray(i->path ? i->path : "");
        info.serial = text(i->serial_number);
        info.manufacturer = text(i->manufacturer_string);
        info.product = text(i->product_string);
        info.vendorId = i->vendor_id;
        info.productId = i->product_id;
        probes.push_back(info);
    }
    hid_free_enumeration(devices);
    return probes;
}

int32_t connectProbeAt(Download &d, const QByteArray &path)
{
    if (d.connected == 1)
        d.toggleConnection();
    d.device = path.isEmpty() ? nullptr : hid_open_path(path.constData());
    if (!d.device)
        return -1;
    return identifyOpenedProbe(d);
}
