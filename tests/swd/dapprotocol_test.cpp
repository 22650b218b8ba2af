// Report bytes of each standard command this host sends, and how replies are judged, against
// bytes worked out by hand from the public protocol description.
#include "swd/link/dapprotocol.h"

#include <gtest/gtest.h>

namespace {

using dap::Packet;

TEST(DapProtocol, CommandsEncodeToGoldenBytes)
{
    const uint32_t words[] = {0x11223344, 0xA5A5A5A5};
    const struct
    {
        const char *name;
        Packet packet;
        Packet golden;
    } cases[] = {
        {"DAP_Info packet count", dap::info(dap::InfoPacketCount), {0x00, 0xFE}},
        {"DAP_Info packet size", dap::info(dap::InfoPacketSize), {0x00, 0xFF}},
        {"DAP_Connect SWD", dap::connect(dap::kPortSwd), {0x02, 0x01}},
        {"DAP_Disconnect", dap::disconnect(), {0x03}},
        {"DAP_TransferConfigure", dap::transferConfigure(0, 100, 0), {0x04, 0, 0x64, 0, 0, 0}},
        {"DAP_SWJ_Clock 4 MHz", dap::swjClock(4000000), {0x11, 0x00, 0x09, 0x3D, 0x00}},
        {"line reset",
         dap::swjSequence(51, Packet(7, 0xFF)),
         {0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"JTAG to SWD", dap::swjSequence(16, {0x9E, 0xE7}), {0x12, 0x10, 0x9E, 0xE7}},
        {"256 bits send count 0", dap::swjSequence(256, {}),
         [] {
             Packet p{0x12, 0x00};
             p.resize(2 + 32, 0);
             return p;
         }()},
        {"DAP_Transfer IDCODE read, power-up write",
         dap::transfer(
             {{dap::request(false, true, 0x0)}, {dap::request(false, false, 0x4), 0x50000000}}),
         {0x05, 0x00, 0x02, 0x02, 0x04, 0x00, 0x00, 0x00, 0x50}},
        {"DAP_Transfer TAR write, DRW read, match read",
         dap::transfer({{dap::request(true, false, 0x4), 0x20000000},
                        {dap::request(true, true, 0xC)},
                        {uint8_t(dap::request(true, true, 0x0) | dap::kMatchValue), 0x00020000}}),
         {0x05, 0x00, 0x03, 0x05, 0x00, 0x00, 0x00, 0x20, 0x0F, 0x13, 0x00, 0x00, 0x02, 0x00}},
        {"DAP_TransferBlock write DRW",
         dap::transferBlockWrite(dap::request(true, false, 0xC), words, 2),
         {0x06, 0x00, 0x02, 0x00, 0x0D, 0x44, 0x33, 0x22, 0x11, 0xA5, 0xA5, 0xA5, 0xA5}},
        {"DAP_TransferBlock read 15 words",
         dap::transferBlockRead(dap::request(true, true, 0xC), 15),
         {0x06, 0x00, 0x0F, 0x00, 0x0F}},
        {"DAP_WriteABORT", dap::writeAbort(0x1E), {0x08, 0x00, 0x1E, 0x00, 0x00, 0x00}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.packet, c.golden) << c.name;
}

TEST(DapProtocol, TransferRepliesAreCheckedBeforeUse)
{
    using F = dap::TransferFailure;
    const std::vector<dap::TransferOp> twoReads{{dap::request(false, true, 0x0)},
                                                {dap::request(false, true, 0x4)}};
    const struct
    {
        Packet reply;
        F failure;
        const char *error;
        std::vector<uint32_t> reads;
    } cases[] = {
        {{0x05, 0x02, 0x01, 0x77, 0x14, 0xB1, 0x0B, 0x00, 0x00, 0x00, 0xF0},
         F::None,
         "",
         {0x0BB11477, 0xF0000000}},
        {{0x05, 0x01, 0x02, 0x77, 0x14, 0xB1, 0x0B},
         F::Wait,
         "target kept answering WAIT after 1 of 2 transfers",
         {0x0BB11477}},
        {{0x05, 0x00, 0x04}, F::Fault, "target answered FAULT after 0 of 2 transfers", {}},
        {{0x05, 0x00, 0x07}, F::NoAck, "no valid ACK from the target after 0 of 2 transfers", {}},
        {{0x05, 0x00, 0x09}, F::Protocol, "SWD protocol error (parity) after 0 of 2 transfers", {}},
        {{0x05, 0x00, 0x11}, F::Mismatch, "value mismatch after 0 of 2 transfers", {}},
        {{0x05, 0x01, 0x01, 0x77, 0x14, 0xB1, 0x0B},
         F::Malformed,
         "probe carried out 1 of 2 transfers without an error",
         {0x0BB11477}},
        {{0x05, 0x03, 0x01}, F::Malformed, "probe reports 3 transfers for 2 requested", {}},
        {{0x05, 0x02, 0x01, 0x77, 0x14}, F::Malformed, "DAP_Transfer reply lacks read data", {}},
        {{0x06, 0x02, 0x01}, F::Malformed, "probe answered command 0x05 with 0x06", {}},
        {{0x05, 0x02}, F::Malformed, "probe reply to 0x05 is 2 bytes, too short", {}},
    };
    for (const auto &c : cases) {
        const dap::TransferReply r = dap::parseTransfer(c.reply, twoReads);
        EXPECT_EQ(r.failure, c.failure) << c.error;
        EXPECT_EQ(r.error.toStdString(), c.error);
        if (c.failure != F::Malformed) {
            EXPECT_EQ(r.reads, c.reads) << c.error;
        }
    }
}

TEST(DapProtocol, BlockStatusAndInfoRepliesAreChecked)
{
    const dap::TransferReply block =
        dap::parseTransferBlock({0x06, 0x01, 0x00, 0x01, 0x78, 0x56, 0x34, 0x12}, 2, true);
    EXPECT_EQ(block.error.toStdString(), "probe carried out 1 of 2 transfers without an error");
    EXPECT_EQ(dap::parseTransferBlock({0x06, 0x02, 0x00, 0x01, 0x78}, 2, true).error.toStdString(),
              "DAP_TransferBlock reply lacks read data");
    EXPECT_EQ(dap::parseTransferBlock({0x06, 0x00, 0x01, 0x01}, 2, false).error.toStdString(),
              "probe reports 256 transfers for 2 requested");

    const struct
    {
        Packet reply;
        uint8_t command;
        const char *error;
    } statuses[] = {
        {{0x02, 0x01}, dap::Connect, ""},
        {{0x02, 0x00}, dap::Connect, "probe could not connect in SWD mode"},
        {{0x11, 0xFF}, dap::SwjClock, "probe refused command 0x11 (status 0xFF)"},
        {{0xFF}, dap::SwjSequence, "probe answered command 0x12 with 0xFF"},
    };
    for (const auto &s : statuses)
        EXPECT_EQ(dap::checkStatus(s.reply, s.command).toStdString(), s.error);

    EXPECT_EQ(dap::parseInfo({0x00, 0x02, 0x40, 0x00}).value, (Packet{0x40, 0x00}));
    EXPECT_EQ(dap::parseInfo({0x00, 0x05, 'Q'}).error.toStdString(),
              "DAP_Info item of 5 bytes does not fit the reply");
}

} // namespace
