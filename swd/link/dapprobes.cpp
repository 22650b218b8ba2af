// Finding CMSIS-DAP probes through hidapi (v1) and libusb (v2), and opening one.
#include "swd/link/dapprobes.h"
#include "swd/swdresult.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <hidapi/hidapi.h>
#include <libusb.h>

#include <algorithm>

namespace {

constexpr uint8_t kVendorClass = 0xFF;

QString wide(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// One context for the process; libusb keeps it until exit.
libusb_context *usbContext()
{
    static libusb_context *context = [] {
        libusb_context *c = nullptr;
        return libusb_init(&c) == 0 ? c : nullptr;
    }();
    return context;
}

QString usbString(libusb_device_handle *handle, uint8_t index)
{
    unsigned char text[256] = {0};
    if (!index)
        return {};
    const int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text - 1);
    return n > 0 ? QString::fromLatin1(reinterpret_cast<const char *>(text), n) : QString();
}

// The endpoints of a v2 interface: its first two are bulk OUT then bulk IN; a third (SWO) is
// not used.
bool bulkPair(const libusb_interface_descriptor &alt, uint8_t &out, uint8_t &in)
{
    if (alt.bInterfaceClass != kVendorClass || alt.bNumEndpoints < 2)
        return false;
    const libusb_endpoint_descriptor &first = alt.endpoint[0];
    const libusb_endpoint_descriptor &second = alt.endpoint[1];
    const auto bulk = [](const libusb_endpoint_descriptor &e) {
        return (e.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
    };
    if (!bulk(first) || !bulk(second) || (first.bEndpointAddress & LIBUSB_ENDPOINT_IN)
        || !(second.bEndpointAddress & LIBUSB_ENDPOINT_IN))
        return false;
    out = first.bEndpointAddress;
    in = second.bEndpointAddress;
    return true;
}

// The v2 interface of one device, if it has one (strings need the device opened).
bool findBulkInterface(libusb_device *device, DapProbe &probe)
{
    libusb_device_descriptor descriptor;
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_device_descriptor(device, &descriptor) != 0
        || libusb_get_active_config_descriptor(device, &config) != 0 || !config)
        return false;
    bool found = false;
    libusb_device_handle *handle = nullptr;
    for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
        if (config->interface[i].num_altsetting < 1)
            continue;
        const libusb_interface_descriptor &alt = config->interface[i].altsetting[0];
        uint8_t out = 0, in = 0;
        if (!bulkPair(alt, out, in))
            continue;
        if (!handle && libusb_open(device, &handle) != 0)
            break; // no access: the udev rule is missing, or it is not ours to look at
        if (!isCmsisDapName(usbString(handle, alt.iInterface)))
            continue;
        probe.interfaceNumber = alt.bInterfaceNumber;
        probe.outEndpoint = out;
        probe.inEndpoint = in;
        probe.product = usbString(handle, descriptor.iProduct);
        probe.serial = usbString(handle, descriptor.iSerialNumber);
        found = true;
    }
    if (handle)
        libusb_close(handle);
    libusb_free_config_descriptor(config);
    if (found) {
        probe.bus = libusb_get_bus_number(device);
        probe.address = libusb_get_device_address(device);
        probe.usbPath = QStringLiteral("usb:%1-%2").arg(probe.bus).arg(probe.address);
    }
    return found;
}

} // namespace

QStringList DapProbe::transports() const
{
    QStringList names;
    if (hasBulk())
        names << QStringLiteral("bulk");
    if (hasHid())
        names << QStringLiteral("hid");
    return names;
}

bool DapProbe::matches(const QString &selector) const
{
    return serial == selector || (hasHid() && QString::fromLocal8Bit(hidPath) == selector)
        || (hasBulk() && usbPath == selector);
}

bool hidUsbLocation(const QByteArray &hidPath, int &bus, int &address, const QString &sysfs)
{
    const QList<QByteArray> fields = hidPath.split(':');
    if (fields.size() == 3 && fields[0].size() == 4 && fields[1].size() == 4) {
        bool busOk = false, addressOk = false;
        bus = fields[0].toInt(&busOk, 16);
        address = fields[1].toInt(&addressOk, 16);
        return busOk && addressOk;
    }
    static const QByteArray hidraw("/dev/hidraw");
    if (!hidPath.startsWith(hidraw) || hidPath.size() == hidraw.size())
        return false;
    const QByteArray number = hidPath.mid(hidraw.size());
    if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    // The hidraw node's device is a HID device under a USB interface under the USB device.
    const QString device = QFileInfo(sysfs + QStringLiteral("/class/hidraw/hidraw")
                                     + QString::fromLatin1(number) + QStringLiteral("/device"))
                               .canonicalFilePath();
    if (device.isEmpty())
        return false;
    QDir dir(device);
    for (int up = 0; up < 4 && dir.cdUp(); ++up) {
        QFile busFile(dir.filePath(QStringLiteral("busnum")));
        QFile addressFile(dir.filePath(QStringLiteral("devnum")));
        if (!busFile.open(QIODevice::ReadOnly) || !addressFile.open(QIODevice::ReadOnly))
            continue;
        bool busOk = false, addressOk = false;
        bus = busFile.read(16).trimmed().toInt(&busOk);
        address = addressFile.read(16).trimmed().toInt(&addressOk);
        return busOk && addressOk;
    }
    return false;
}

void addBulkInterface(std::vector<DapProbe> &probes, const DapProbe &bulk)
{
    DapProbe *same = nullptr;
    for (DapProbe &probe : probes) {
        if (probe.hasBulk() || !probe.hasHid())
            continue;
        const bool located = probe.bus >= 0;
        if (located ? probe.bus == bulk.bus && probe.address == bulk.address
                    : !bulk.serial.isEmpty() && probe.serial == bulk.serial) {
            same = &probe;
            break;
        }
    }
    if (!same) {
        probes.push_back(bulk);
        return;
    }
    const QByteArray hidPath = same->hidPath;
    const QString serial = same->serial;
    *same = bulk;
    same->hidPath = hidPath;
    if (same->serial.isEmpty())
        same->serial = serial;
}

bool isCmsisDapName(const QString &name)
{
    return name.contains(QLatin1String("CMSIS-DAP"));
}

bool parseTransportChoice(const QString &text, DapTransportChoice &choice)
{
    if (text.isEmpty())
        choice = DapTransportChoice::Preferred;
    else if (text == QLatin1String("hid"))
        choice = DapTransportChoice::Hid;
    else if (text == QLatin1String("bulk"))
        choice = DapTransportChoice::Bulk;
    else
        return false;
    return true;
}

std::vector<DapProbe> listDapProbes()
{
    std::vector<DapProbe> probes;
    hid_device_info *devices = hid_enumerate(0, 0);
    for (const hid_device_info *i = devices; i; i = i->next) {
        const QString product = wide(i->product_string);
        if (!i->path || !isCmsisDapName(product))
            continue;
        DapProbe probe;
        probe.hidPath = QByteArray(i->path);
        probe.serial = wide(i->serial_number);
        probe.product = product;
        hidUsbLocation(probe.hidPath, probe.bus, probe.address);
        probes.push_back(probe);
    }
    hid_free_enumeration(devices);

    libusb_device **list = nullptr;
    const ssize_t n = usbContext() ? libusb_get_device_list(usbContext(), &list) : 0;
    for (ssize_t k = 0; k < n; ++k) {
        DapProbe bulk;
        if (findBulkInterface(list[k], bulk))
            addBulkInterface(probes, bulk);
    }
    if (list)
        libusb_free_device_list(list, 1);
    return probes;
}

OpenedDapProbe::~OpenedDapProbe()
{
    close();
}

void OpenedDapProbe::close()
{
    m_transport.reset();
    if (m_hid)
        hid_close(m_hid);
    m_hid = nullptr;
    if (m_usb && m_interface >= 0)
        libusb_release_interface(m_usb, m_interface);
    if (m_usb)
        libusb_close(m_usb);
    m_usb = nullptr;
    m_interface = -1;
}

int OpenedDapProbe::open(const DapProbe &probe, DapTransportChoice choice, QString &error)
{
    close();
    const bool bulk = choice == DapTransportChoice::Bulk
        || (choice == DapTransportChoice::Preferred && probe.hasBulk());
    if (bulk && !probe.hasBulk()) {
        error =
            QStringLiteral("probe %1 offers no CMSIS-DAP v2 (bulk) interface").arg(probe.path());
        return SwdNotSwd;
    }
    if (bulk)
        return openBulk(probe, error);
    if (!probe.hasHid()) {
        error = QStringLiteral("probe %1 offers no CMSIS-DAP v1 (HID) interface").arg(probe.path());
        return SwdNotSwd;
    }
    m_hid = hid_open_path(probe.hidPath.constData());
    if (!m_hid) {
        error = QStringLiteral("cannot open probe %1").arg(probe.path());
        return SwdProbeLost;
    }
    m_transport = std::make_unique<HidTransport>(m_hid);
    return SwdOk;
}

int OpenedDapProbe::openBulk(const DapProbe &probe, QString &error)
{
    libusb_device **list = nullptr;
    const ssize_t n = usbContext() ? libusb_get_device_list(usbContext(), &list) : 0;
    libusb_device *device = nullptr;
    for (ssize_t k = 0; k < n && !device; ++k) {
        if (libusb_get_bus_number(list[k]) == probe.bus
            && libusb_get_device_address(list[k]) == probe.address)
            device = list[k];
    }
    const int opened = device ? libusb_open(device, &m_usb) : LIBUSB_ERROR_NO_DEVICE;
    if (list)
        libusb_free_device_list(list, 1);
    if (opened != 0) {
        m_usb = nullptr;
        error = opened == LIBUSB_ERROR_ACCESS
            ? QStringLiteral("no permission to open probe %1 (is the udev rule installed?)")
                  .arg(probe.usbPath)
            : QStringLiteral("cannot open probe %1 (%2)")
                  .arg(probe.usbPath, QLatin1String(libusb_error_name(opened)));
        return SwdProbeLost;
    }
    // A kernel driver on the interface is someone else's: it is never detached.
    if (libusb_kernel_driver_active(m_usb, probe.interfaceNumber) == 1) {
        error = QStringLiteral("probe %1: a kernel driver holds interface %2")
                    .arg(probe.usbPath, QString::number(probe.interfaceNumber));
        close();
        return SwdProbeLost;
    }
    const int claimed = libusb_claim_interface(m_usb, probe.interfaceNumber);
    if (claimed != 0) {
        error = claimed == LIBUSB_ERROR_BUSY
            ? QStringLiteral("probe %1 is busy: another program has claimed it").arg(probe.usbPath)
            : QStringLiteral("cannot claim probe %1 (%2)")
                  .arg(probe.usbPath, QLatin1String(libusb_error_name(claimed)));
        close();
        return SwdProbeLost;
    }
    m_interface = probe.interfaceNumber;
    m_transport = std::make_unique<BulkTransport>(m_usb, probe.outEndpoint, probe.inEndpoint,
                                                  BulkTransport::kMaxPacketSize);
    return SwdOk;
}
