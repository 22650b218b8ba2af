// CMSIS-DAP commands with several in flight, over either transport.
#include "swd/link/dappipe.h"

#include <vector>

DapPipe::DapPipe(DapTransport &transport)
    : m_transport(transport)
{ }

bool DapPipe::fail(int code, const QString &message)
{
    if (m_error.ok())
        m_error = SwdResult::failure(code, message);
    return false;
}

bool DapPipe::open()
{
    discardStale();
    m_opening = true;
    dap::Packet reply;
    if (!transact(dap::info(dap::InfoPacketCount), reply))
        return false;
    dap::InfoReply count = dap::parseInfo(reply);
    if (!count.error.isEmpty() || count.value.size() != 1 || count.value[0] == 0)
        return fail(SwdBadReply,
                    count.error.isEmpty() ? QStringLiteral("probe reports no usable packet count")
                                          : count.error);
    if (!transact(dap::info(dap::InfoPacketSize), reply))
        return false;
    dap::InfoReply size = dap::parseInfo(reply);
    if (!size.error.isEmpty() || size.value.size() != 2)
        return fail(SwdBadReply,
                    size.error.isEmpty() ? QStringLiteral("probe reports no usable packet size")
                                         : size.error);
    const int packetSize = size.value[0] | size.value[1] << 8;
    // Smaller packets leave no room to work; larger ones than the link carries cannot arrive. A
    // HID reply is one whole report, so it shows the report size the packets must fit.
    if (packetSize < 16 || packetSize > m_transport.maxPacketSize()
        || (m_transport.padsReplies() && reply.size() < size_t(packetSize)))
        return fail(SwdNotSwd,
                    QStringLiteral("probe packet size %1 is not usable over %2")
                        .arg(packetSize)
                        .arg(QString::fromLatin1(m_transport.name()).toUpper()));
    m_packetCount = count.value[0];
    m_packetSize = packetSize;
    m_transport.setPacketSize(packetSize);
    m_opening = false;
    return true;
}

void DapPipe::discardStale()
{
    // Replies a timed-out user of the probe left behind; whatever is not there yet is told apart
    // by its command byte.
    std::vector<uint8_t> buffer(readSize());
    QString error;
    for (int n = 0; n < kMaxStale; ++n) {
        if (m_transport.receive(buffer.data(), buffer.size(), kStaleTimeoutMs, error) <= 0)
            break;
    }
}

size_t DapPipe::readSize() const
{
    // A HID read takes one whole report whatever room it has; a bulk read must stop at one packet.
    return size_t(m_transport.padsReplies() ? m_transport.maxPacketSize() : m_packetSize);
}

bool DapPipe::submit(const dap::Packet &command)
{
    if (failed())
        return false;
    if (command.empty() || command.size() > size_t(m_packetSize))
        return fail(SwdBadJob, QStringLiteral("internal: command of %1 bytes").arg(command.size()));
    while (m_sent.size() >= size_t(m_packetCount)) {
        if (!readOne())
            return false;
    }
    QString error;
    if (const int code = m_transport.send(command.data(), command.size(), error))
        return fail(code, error);
    m_sent.push_back(command[0]);
    return true;
}

bool DapPipe::readOne()
{
    // One packet of the probe's size: a reply that fills it need not end in a zero-length packet,
    // and a larger read would run into the next reply.
    std::vector<uint8_t> buffer(readSize());
    QString error;
    for (int stale = 0;; ++stale) {
        const int n = m_transport.receive(buffer.data(), buffer.size(), kReplyTimeoutMs, error);
        if (n < 0)
            return fail(-n, error);
        if (n > m_packetSize && !m_transport.padsReplies())
            return fail(SwdBadReply,
                        QStringLiteral("probe sent %1 bytes, more than its packet size %2")
                            .arg(n)
                            .arg(m_packetSize));
        if (n == 0)
            return fail(SwdProbeTimeout,
                        QStringLiteral("probe did not answer command 0x%1 within %2 ms")
                            .arg(m_sent.front(), 2, 16, QLatin1Char('0'))
                            .arg(kReplyTimeoutMs));
        if (buffer[0] != m_sent.front()) {
            // While opening, a late reply to an earlier user's command; later, a broken stream.
            if (m_opening && stale < kMaxStale)
                continue;
            return fail(SwdBadReply,
                        QStringLiteral("probe answered command 0x%1 with a reply to 0x%2")
                            .arg(m_sent.front(), 2, 16, QLatin1Char('0'))
                            .arg(buffer[0], 2, 16, QLatin1Char('0')));
        }
        m_arrived.emplace_back(buffer.begin(), buffer.begin() + n);
        m_sent.pop_front();
        return true;
    }
}

bool DapPipe::collect(dap::Packet &reply)
{
    if (failed())
        return false;
    if (m_arrived.empty()) {
        if (m_sent.empty())
            return fail(SwdBadJob, QStringLiteral("internal: no command awaits a reply"));
        if (!readOne())
            return false;
    }
    reply = std::move(m_arrived.front());
    m_arrived.pop_front();
    return true;
}

bool DapPipe::transact(const dap::Packet &command, dap::Packet &reply)
{
    return submit(command) && collect(reply);
}

void DapPipe::drain()
{
    std::vector<uint8_t> buffer(readSize());
    QString error;
    for (; !m_sent.empty(); m_sent.pop_front()) {
        if (m_transport.receive(buffer.data(), buffer.size(), kDrainTimeoutMs, error) <= 0)
            break;
    }
    m_sent.clear();
    m_arrived.clear();
}
