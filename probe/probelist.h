// Finding the probes on the bus and connecting a job record to one of them by its path, for tools
// that drive several probes at once.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class Download;

struct ProbeInfo
{
    QByteArray path; // what connectProbeAt takes; stable while the probe stays plugged in
    QString serial, manufacturer, product; // empty when the probe does not tell
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// Every probe with the programmer's USB ids, in bus order.
std::vector<ProbeInfo> listProbes();

// Opens the probe at `path` and identifies it as Download::toggleConnection does: 1 accepted;
// -1 no such probe, a foreign manufacturer or an unreadable string; -2 firmware word outside
// 0x6CFF0190..0x6CFF019F. A record that is connected is disconnected first.
int32_t connectProbeAt(Download &d, const QByteArray &path);

// Identifies the probe just opened on d.device and sets d.connected; the shared second half of
// toggleConnection and connectProbeAt. Closes the device on -1 and -2.
int32_t identifyOpenedProbe(Download &d);
