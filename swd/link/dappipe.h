// One CMSIS-DAP probe behind a transport (HID or bulk): sends commands with as many in flight as
// the probe has packet buffers and hands the replies back in order. The first failure sticks.
#pragma once

#include "swd/link/dapprotocol.h"
#include "swd/link/daptransport.h"
#include "swd/swdresult.h"

#include <deque>

class DapPipe
{
public:
    static constexpr int kReplyTimeoutMs = 1000;
    static constexpr int kDrainTimeoutMs = 100;
    // At open: how long to look for replies left behind, and how many to drop at most.
    static constexpr int kStaleTimeoutMs = 1;
    static constexpr int kMaxStale = 255;

    explicit DapPipe(DapTransport &transport);

    // Drops replies left behind by an earlier user, then asks for packet count and size; fails
    // unless the probe can carry at least a small transfer.
    bool open();
    int packetCount() const { return m_packetCount; }
    int packetSize() const { return m_packetSize; }
    // HID: a report each way per frame, so a reply waited for leaves the link idle for frames.
    bool isHid() const { return m_transport.padsReplies(); }
    const DapTransport &transport() const { return m_transport; }

    // Queues a command; when all buffers are taken, first waits for the oldest reply, which is
    // kept for collect(). False once anything failed.
    bool submit(const dap::Packet &command);
    // The reply to the oldest command not yet collected.
    bool collect(dap::Packet &reply);
    bool transact(const dap::Packet &command, dap::Packet &reply);
    size_t inFlight() const { return m_sent.size(); }

    // Reads and drops the replies still owed, so that the next user of the probe does not take
    // them for its own; gives up at the first one that does not come within a short wait.
    void drain();

    bool failed() const { return !m_error.ok(); }
    const SwdResult &error() const { return m_error; }
    bool fail(int code, const QString &message);

private:
    bool readOne();
    void discardStale();
    size_t readSize() const;

    DapTransport &m_transport;
    int m_packetCount = 1;
    int m_packetSize = 64;
    std::deque<uint8_t> m_sent; // commands whose replies have not arrived
    std::deque<dap::Packet> m_arrived; // replies read but not collected
    SwdResult m_error;
    bool m_opening = false; // replies to other commands are stale, not a broken stream
};
