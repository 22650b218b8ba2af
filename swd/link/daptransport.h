// How CMSIS-DAP command packets reach a probe: v1 as HID reports (hidapi), v2 as bulk transfers on
// a vendor interface (libusb). The pipe above sees packets only.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

struct hid_device_;
typedef struct hid_device_ hid_device;
struct libusb_device_handle;

class DapTransport
{
public:
    virtual ~DapTransport() = default;

    // Sends one command packet: 0, or the SwdCode of the failure with `error` set.
    virtual int send(const uint8_t *data, size_t length, QString &error) = 0;
    // One reply into `data`, asking for exactly `capacity` bytes (one packet of the probe's size:
    // a full packet may come without a zero-length packet after it): its length, 0 when nothing
    // came within the time-out, or minus the SwdCode of the failure with `error` set.
    virtual int receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error) = 0;
    // The largest packet the link itself carries; DAP_Info may name a smaller one.
    virtual int maxPacketSize() const = 0;
    // The probe's packet size once DAP_Info has named it (64 until then).
    virtual void setPacketSize(int bytes) = 0;
    virtual const char *name() const = 0; // "hid" or "bulk"
    // HID pads every reply to the report size; bulk replies are as long as the probe sent them.
    virtual bool padsReplies() const = 0;
};

// v1: reports of the probe's packet size (64 bytes at full speed, up to 1024 at high speed),
// report id 0 in front of each one written. Does not own the device.
class HidTransport : public DapTransport
{
public:
    static constexpr int kReportSize = 64;
    static constexpr int kMaxReportSize = 1024;
    explicit HidTransport(hid_device *device)
        : m_device(device)
    { }
    int send(const uint8_t *data, size_t length, QString &error) override;
    int receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error) override;
    int maxPacketSize() const override { return kMaxReportSize; }
    void setPacketSize(int bytes) override { m_reportSize = bytes; }
    const char *name() const override { return "hid"; }
    bool padsReplies() const override { return true; }

private:
    hid_device *m_device;
    int m_reportSize = kReportSize;
};

// v2: bulk OUT and bulk IN endpoints of a claimed interface. Does not own the handle.
class BulkTransport : public DapTransport
{
public:
    static constexpr int kMaxPacketSize = 1024;
    BulkTransport(libusb_device_handle *handle, uint8_t outEndpoint, uint8_t inEndpoint,
                  int maxPacket)
        : m_handle(handle)
        , m_out(outEndpoint)
        , m_in(inEndpoint)
        , m_maxPacket(maxPacket)
    { }
    int send(const uint8_t *data, size_t length, QString &error) override;
    int receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error) override;
    int maxPacketSize() const override { return m_maxPacket; }
    void setPacketSize(int) override { } // each read asks for one packet of the caller's size
    const char *name() const override { return "bulk"; }
    bool padsReplies() const override { return false; }

private:
    libusb_device_handle *m_handle;
    uint8_t m_out, m_in;
    int m_maxPacket;
};
