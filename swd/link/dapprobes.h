// CMSIS-DAP probes of any make on the bus, and opening one over the transport chosen: v2 (bulk
// on a vendor interface) when the probe has it, v1 (HID) otherwise or when asked.
#pragma once

#include "swd/link/daptransport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct libusb_context;

enum class DapTransportChoice { Preferred, Hid, Bulk };

struct DapProbe
{
    QString serial, product;
    QByteArray hidPath; // empty: no v1 interface
    QString usbPath; // "usb:BUS-ADDRESS"; empty: no v2 interface
    int bus = -1, address = -1, interfaceNumber = -1;
    uint8_t outEndpoint = 0, inEndpoint = 0;

    bool hasHid() const { return !hidPath.isEmpty(); }
    bool hasBulk() const { return !usbPath.isEmpty(); }
    QString path() const { return hasHid() ? QString::fromLocal8Bit(hidPath) : usbPath; }
    QStringList transports() const; // "bulk", "hid": those it offers, preferred first
    // Serial number or either path.
    bool matches(const QString &selector) const;
};

bool isCmsisDapName(const QString &name);
// v1 interfaces (HID product string naming CMSIS-DAP) and v2 interfaces (interface string naming
// CMSIS-DAP, bulk OUT and bulk IN first), one entry per probe (see addBulkInterface).
std::vector<DapProbe> listDapProbes();
// Adds a v2 interface to the list: onto the v1 entry of the same USB device (the same bus and
// address when the HID path names them, else the same serial number, never an empty one), or as
// a probe of its own.
void addBulkInterface(std::vector<DapProbe> &probes, const DapProbe &bulk);
// The USB bus and device address behind a hidapi path: "BBBB:DDDD:II" (libusb backend) or
// /dev/hidrawN (hidraw backend, looked up under `sysfs`); false when the path tells neither.
bool hidUsbLocation(const QByteArray &hidPath, int &bus, int &address,
                    const QString &sysfs = QStringLiteral("/sys"));
// Parses "hid", "bulk" (or empty: preferred); false for anything else.
bool parseTransportChoice(const QString &text, DapTransportChoice &choice);

// An opened probe: the transport, and whatever must be released when it closes.
class OpenedDapProbe
{
public:
    OpenedDapProbe() = default;
    ~OpenedDapProbe();
    OpenedDapProbe(const OpenedDapProbe &) = delete;
    OpenedDapProbe &operator=(const OpenedDapProbe &) = delete;

    // 0 with the probe open, or the SwdCode of the failure (1: cannot open or busy; 4: it lacks
    // the transport asked for) with `error` set.
    int open(const DapProbe &probe, DapTransportChoice choice, QString &error);
    void close();
    DapTransport &transport() { return *m_transport; }
    const char *transportName() const { return m_transport ? m_transport->name() : ""; }

private:
    int openBulk(const DapProbe &probe, QString &error);

    std::unique_ptr<DapTransport> m_transport;
    hid_device *m_hid = nullptr;
    libusb_device_handle *m_usb = nullptr;
    int m_interface = -1;
};
