// The hidapi and libusb calls other hosts make on the virtual CMSIS-DAP probe, answered as the
// real libraries answer them: non-blocking reads, indexed strings, reports a CMSIS-DAP interface
// does not have, configuration, string requests, error texts and asynchronous transfers.
#include "cmsisdap/cmsisdapprobe.h"
#include "virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>
#include <libusb.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using vprobe::CmsisDapProbe;

class UsbSurfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        probe().setUsb(CmsisDapProbe::Usb::HsBulk);
        probe().reset();
        probe().setRealTime(false);
        probe().setEnabled(true);
    }
    void TearDown() override
    {
        probe().setEnabled(false);
        probe().setUsb(CmsisDapProbe::Usb::FsHid);
    }
    static CmsisDapProbe &probe() { return CmsisDapProbe::instance(); }
};

TEST_F(UsbSurfaceTest, HidReadsStringsAndReportsBehaveAsHidapi)
{
    hid_device *dev = hid_open_path("vprobe:0");
    ASSERT_NE(dev, nullptr);
    unsigned char report[65] = {0x00, 0x00, 0xFE};
    unsigned char reply[64];
    ASSERT_EQ(hid_set_nonblocking(dev, 1), 0);
    EXPECT_EQ(hid_read(dev, reply, sizeof reply), 0); // nothing there, and no waiting for it
    ASSERT_EQ(hid_write(dev, report, sizeof report), 65);
    ASSERT_EQ(hid_set_nonblocking(dev, 0), 0);
    ASSERT_EQ(hid_read(dev, reply, sizeof reply), 64);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 0x01, 0x04}));
    // Every packet is in the trace, both ways.
    const std::vector<vprobe::TraceEntry> trace = vprobe::VirtualProbe::instance().trace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[trace.size() - 2].kind, vprobe::TraceEntry::Kind::Write);
    EXPECT_EQ(trace.back().kind, vprobe::TraceEntry::Kind::Read);
    EXPECT_EQ(trace.back().timeoutMs, -1);
    EXPECT_EQ(Bytes(trace.back().data.begin(), trace.back().data.begin() + 3),
              (Bytes{0x00, 0x01, 0x04}));

    wchar_t text[32];
    const struct
    {
        int index, result;
        std::wstring text;
    } strings[] = {
        {1, 0, L"ARM"}, {2, 0, L"Quorvel Virtual CMSIS-DAP"}, {3, 0, L"QVP00000001"}, {9, -1, L""}};
    for (const auto &s : strings) {
        text[0] = L'\0';
        EXPECT_EQ(hid_get_indexed_string(dev, s.index, text, 32), s.result) << s.index;
        EXPECT_EQ(std::wstring(text), s.text) << s.index;
    }
    EXPECT_EQ(hid_get_feature_report(dev, reply, sizeof reply), -1);
    EXPECT_EQ(hid_send_feature_report(dev, report, sizeof report), -1);
    const hid_device_info *info = hid_get_device_info(dev);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->path, "vprobe:0");
    EXPECT_EQ(std::wstring(info->serial_number), L"QVP00000001");
    hid_close(dev);
}

TEST_F(UsbSurfaceTest, ConfigurationStringsAndErrorTextsAreLibusbs)
{
    libusb_context *context = nullptr;
    ASSERT_EQ(libusb_init(&context), 0);
    libusb_device **list = nullptr;
    ASSERT_EQ(libusb_get_device_list(context, &list), 1);
    libusb_device *device = list[0];
    libusb_config_descriptor *config = nullptr;
    EXPECT_EQ(libusb_get_config_descriptor(device, 1, &config), LIBUSB_ERROR_NOT_FOUND);
    ASSERT_EQ(libusb_get_config_descriptor(device, 0, &config), 0);
    EXPECT_EQ(config->bNumInterfaces, 2);
    libusb_free_config_descriptor(config);
    uint8_t ports[2];
    EXPECT_EQ(libusb_get_port_numbers(device, ports, 2), 1);
    EXPECT_EQ(ports[0], 1);

    libusb_device_handle *handle = nullptr;
    ASSERT_EQ(libusb_open(device, &handle), 0);
    EXPECT_EQ(libusb_get_device(handle), device);
    int current = 0;
    ASSERT_EQ(libusb_get_configuration(handle, &current), 0);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(libusb_set_configuration(handle, 1), 0);
    EXPECT_EQ(libusb_set_configuration(handle, 2), LIBUSB_ERROR_NOT_FOUND);
    ASSERT_EQ(libusb_claim_interface(handle, 1), 0);
    EXPECT_EQ(libusb_set_configuration(handle, 1), LIBUSB_ERROR_BUSY);
    EXPECT_EQ(libusb_detach_kernel_driver(handle, 1), LIBUSB_ERROR_NOT_FOUND);
    EXPECT_EQ(libusb_set_interface_alt_setting(handle, 1, 1), LIBUSB_ERROR_NOT_FOUND);

    unsigned char data[64];
    const int n = libusb_control_transfer(handle, 0x80, LIBUSB_REQUEST_GET_DESCRIPTOR, 0x0303,
                                          0x0409, data, sizeof data, 100);
    ASSERT_EQ(n, 24);
    EXPECT_EQ(Bytes(data, data + 6), (Bytes{24, 0x03, 'Q', 0, 'V', 0}));
    EXPECT_EQ(libusb_control_transfer(handle, 0x21, 0x09, 0, 0, data, 8, 100), LIBUSB_ERROR_PIPE);

    const struct
    {
        int code;
        const char *name, *text;
    } errors[] = {
        {LIBUSB_ERROR_TIMEOUT, "LIBUSB_ERROR_TIMEOUT", "Operation timed out"},
        {LIBUSB_ERROR_PIPE, "LIBUSB_ERROR_PIPE", "Pipe error"},
        {LIBUSB_ERROR_NO_DEVICE, "LIBUSB_ERROR_NO_DEVICE",
         "No such device (it may have been disconnected)"},
        {LIBUSB_TRANSFER_CANCELLED, "LIBUSB_TRANSFER_CANCELLED", "Unknown error"},
        {-1000, "**UNKNOWN**", "Unknown error"},
    };
    for (const auto &e : errors) {
        EXPECT_STREQ(libusb_error_name(e.code), e.name);
        EXPECT_STREQ(libusb_strerror(e.code), e.text);
    }
    libusb_close(handle);
    libusb_free_device_list(list, 1);
    libusb_exit(context);
}

struct Completion
{
    std::vector<std::pair<unsigned char, int>> calls; // endpoint, status, in callback order
    int done = 0;
};

void LIBUSB_CALL completed(libusb_transfer *transfer)
{
    auto *c = static_cast<Completion *>(transfer->user_data);
    c->calls.emplace_back(transfer->endpoint, int(transfer->status));
    c->done = 1;
}

TEST_F(UsbSurfaceTest, AsynchronousTransfersCompleteInTheEventHandler)
{
    libusb_context *context = nullptr;
    libusb_device **list = nullptr;
    libusb_device_handle *handle = nullptr;
    ASSERT_EQ(libusb_init(&context), 0);
    ASSERT_EQ(libusb_get_device_list(context, &list), 1);
    ASSERT_EQ(libusb_open(list[0], &handle), 0);
    ASSERT_EQ(libusb_claim_interface(handle, 1), 0);

    unsigned char command[2] = {0x00, 0xFE};
    unsigned char reply[512] = {};
    Completion c;
    libusb_transfer *out = libusb_alloc_transfer(0);
    libusb_transfer *in = libusb_alloc_transfer(0);
    ASSERT_TRUE(out && in);
    // An IN transfer with no command behind it: it stays pending, then is cancelled.
    libusb_fill_bulk_transfer(in, handle, 0x82, reply, sizeof reply, completed, &c, 0);
    ASSERT_EQ(libusb_submit_transfer(in), 0);
    EXPECT_EQ(libusb_submit_transfer(in), LIBUSB_ERROR_BUSY);
    timeval poll{0, 0};
    ASSERT_EQ(libusb_handle_events_timeout_completed(context, &poll, &c.done), 0);
    EXPECT_TRUE(c.calls.empty());
    ASSERT_EQ(libusb_cancel_transfer(in), 0);
    ASSERT_EQ(libusb_handle_events_timeout_completed(context, &poll, nullptr), 0);
    ASSERT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.calls[0], std::make_pair((unsigned char)0x82, int(LIBUSB_TRANSFER_CANCELLED)));
    EXPECT_EQ(libusb_cancel_transfer(in), LIBUSB_ERROR_NOT_FOUND);

    // A command and its reply: the OUT callback first, then the IN one with the reply's bytes.
    c = Completion{};
    libusb_fill_bulk_transfer(out, handle, 0x02, command, 2, completed, &c, 0);
    libusb_fill_bulk_transfer(in, handle, 0x82, reply, sizeof reply, completed, &c, 1000);
    ASSERT_EQ(libusb_submit_transfer(out), 0);
    ASSERT_EQ(libusb_submit_transfer(in), 0);
    c.done = 0;
    while (c.calls.size() < 2)
        ASSERT_EQ(libusb_handle_events_completed(context, nullptr), 0);
    EXPECT_EQ(c.calls[0], std::make_pair((unsigned char)0x02, int(LIBUSB_TRANSFER_COMPLETED)));
    EXPECT_EQ(c.calls[1], std::make_pair((unsigned char)0x82, int(LIBUSB_TRANSFER_COMPLETED)));
    EXPECT_EQ(in->actual_length, 3);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 0x01, 0x04}));

    // An IN transfer's own time-out ends it when nothing comes.
    c = Completion{};
    libusb_fill_bulk_transfer(in, handle, 0x82, reply, sizeof reply, completed, &c, 50);
    ASSERT_EQ(libusb_submit_transfer(in), 0);
    ASSERT_EQ(libusb_handle_events_completed(context, &c.done), 0);
    ASSERT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.calls[0].second, int(LIBUSB_TRANSFER_TIMED_OUT));

    libusb_free_transfer(out);
    libusb_free_transfer(in);
    libusb_close(handle);
    libusb_free_device_list(list, 1);
    libusb_exit(context);
}

} // namespace
