// The two halves of DebugPort::connect() for a device whose pack brings its own DebugPortSetup
// or DebugPortStart: the probe's part before them, the host's view of the port after them.
#include "swd/debug/debugport.h"

namespace {

constexpr uint8_t kDpIdcode = 0x0, kDpSelect = 0x8, kApCsw = 0x0;
constexpr uint32_t kCswWordIncrement = 0x23000052;

} // namespace

bool DebugPort::start(uint32_t clockHz)
{
    return commands(
        {dap::connect(dap::kPortSwd), dap::swjClock(clockHz), dap::transferConfigure(0, 100, 100)});
}

bool DebugPort::adopt()
{
    const std::vector<dap::TransferOp> ops{{dap::request(false, true, kDpIdcode)},
                                           {dap::request(false, false, kDpSelect), apSelect(0)},
                                           {dap::request(true, false, kApCsw), kCswWordIncrement}};
    dap::Packet reply;
    if (!sync() || !m_link.transact(dap::transfer(ops), reply))
        return false;
    const dap::TransferReply r = dap::parseTransfer(reply, ops);
    if (r.failure != dap::TransferFailure::None)
        return m_link.fail(SwdNoTarget, QStringLiteral("no SWD target answers (%1)").arg(r.error));
    m_idcode = r.reads[0];
    m_select = apSelect(0);
    m_tar = ~0u;
    return true;
}
