// Opening, identifying and closing the probe, and the DAP_Info request that identifies it.
#include "download.h"

#include "job/chipmodels.h"
#include "probe/probelist.h"
#include "probe/reports.h"
#include "probe/transport.h"

#include <QDebug>
#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

constexpr uint8_t infoProbeId = 0xA0;
constexpr uint8_t infoFirmware = 0xA1;
constexpr int infoTimeoutMs = 200;
constexpr int stringChars = 64;

// The probe announces itself with exactly this manufacturer string; its product string only has
// to be readable.
bool stringsAcceptable(hid_device *device)
{
    wchar_t text[stringChars] = {};
    if (hid_get_manufacturer_string(device, text, stringChars) != 0)
        return false;
    text[stringChars - 1] = 0;
    if (std::wcscmp(text, L"ARM") != 0)
        return false;
    return hid_get_product_string(device, text, stringChars) == 0;
}

} // namespace

// Sends DAP_Info for `id` and copies its data into `buffer`, which must hold 64 bytes. A length
// byte over 62 (more than the reply holds) is clamped to 62 and reported clamped in `length`.
// Returns 0, or -1 on a transport failure.
int32_t Download::dapInfo(uint8_t id, uint8_t *buffer, uint8_t *length)
{
    std::memset(inReport, 0, sizeof inReport);
    probe::buildDapInfo(outReport, id);
    if (!probe::exchange(device, outReport, inReport, infoTimeoutMs))
        return -1;
    *length = std::min<uint8_t>(inReport[1], probe::infoDataMax);
    std::memcpy(buffer, inReport + 2, *length);
    return 0;
}

// While connected: closes and returns 0 (also when the probe is already gone). Otherwise opens and
// identifies the probe: 1 accepted; -1 no device, a foreign manufacturer or an unreadable string;
// -2 firmware word outside 0x6CFF0190..0x6CFF019F (probeId keeps the word read). After -1 and -2
// no device stays open.
int32_t Download::toggleConnection()
{
    if (connected == 1) {
        hid_close(device);
        device = nullptr;
        connected = 0;
        std::memset(firmwareInfo, 0, sizeof firmwareInfo);
        return 0;
    }

    device = hid_open(vendorId, productId, nullptr);
    if (!device)
        return -1;
    return identifyOpenedProbe(*this);
}

int32_t identifyOpenedProbe(Download &d)
{
    if (!stringsAcceptable(d.device)) {
        hid_close(d.device);
        d.device = nullptr;
        return -1;
    }

    uint8_t info[probe::replySize] = {};
    uint8_t length = 0;
    // A failed request leaves 0, which the range test refuses.
    d.dapInfo(infoProbeId, info, &length);
    d.probeId = probe::getLe32(info);
    if (!job::firmwareAccepted(d.probeId)) {
        hid_close(d.device);
        d.device = nullptr;
        return -2;
    }

    length = 0;
    d.dapInfo(infoFirmware, info, &length);
    std::memcpy(d.firmwareInfo, info, std::min<size_t>(length, sizeof d.firmwareInfo));

    qDebug() << " DAPLink Probe Succeed";
    d.connected = 1;
    return 1;
}
