// What a CMSIS-DAP probe says about itself through DAP_Info, for the probe list.
#include "swd/link/dappipe.h"
#include "swd/swdprogrammer.h"

namespace {

bool ask(DapPipe &link, uint8_t id, dap::Packet &value, QString &error)
{
    dap::Packet reply;
    if (!link.transact(dap::info(id), reply)) {
        error = link.error().message;
        return false;
    }
    const dap::InfoReply info = dap::parseInfo(reply);
    error = info.error;
    value = info.value;
    return error.isEmpty();
}

QString text(const dap::Packet &value)
{
    const QByteArray bytes(reinterpret_cast<const char *>(value.data()), int(value.size()));
    return QString::fromUtf8(bytes.left(int(qstrnlen(bytes.constData(), uint(bytes.size())))));
}

} // namespace

ProbeCaps probeCapabilities(DapTransport &probe)
{
    ProbeCaps caps;
    // The packet size first, so that the strings (which may fill more than the 64 bytes every
    // probe carries) are read with it; a probe without a usable one is still described.
    DapPipe sized(probe);
    const bool opened = sized.open();
    if (!opened)
        sized.drain();
    DapPipe plain(probe);
    DapPipe &link = opened ? sized : plain;
    dap::Packet v;
    QString *const fields[] = {&caps.vendor, &caps.product, &caps.serial, &caps.protocol,
                               &caps.firmware};
    const uint8_t ids[] = {dap::InfoVendor, dap::InfoProduct, dap::InfoSerial, dap::InfoProtocol,
                           dap::InfoFirmware};
    for (size_t i = 0; i < 5; ++i) {
        if (!ask(link, ids[i], v, caps.error)) {
            link.drain(); // a late reply must not answer the next query
            return caps;
        }
        *fields[i] = text(v);
    }
    if (!ask(link, dap::InfoCapabilities, v, caps.error)) {
        link.drain();
        return caps;
    }
    caps.swd = !v.empty() && (v[0] & dap::kCapabilitySwd);
    if (!opened) {
        caps.error = sized.error().message;
        return caps;
    }
    caps.packetCount = link.packetCount();
    caps.packetSize = link.packetSize();
    caps.ok = true;
    return caps;
}
