// Where the command line opens probes. The dedicated probe a command works with: found by serial
// number or path (or the first one, as the window connects), opened and identified through the
// job record, closed again at the end. A CMSIS-DAP probe of any make, over the transport chosen.
// And the list of every probe plugged in.
#pragma once

#include "engine/chiprecord.h"
#include "engine/download.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>

class OpenedDapProbe;

namespace cli {

class Command;

class ProbeSession
{
public:
    ProbeSession();
    ~ProbeSession();
    ProbeSession(const ProbeSession &) = delete;
    ProbeSession &operator=(const ProbeSession &) = delete;

    // Connects `record` to the probe named by `selector` (serial number or path; empty: the first).
    // Returns the exit status 0 when connected and accepted, else the status with `error` set.
    int connect(const QString &selector, QString &error);
    // Closes and reopens the same probe (a probe that asks to be reconnected).
    bool reconnect();

    // Connects to the probe the command names (--probe), puts it into the command's report and
    // reports a failure: 0, or the exit status already reported.
    int connect(Command &command);

    QJsonObject describe() const; // path, serial, product, firmware
    Download &record() { return *download; }

private:
    std::unique_ptr<ChipRecord> chip;
    std::unique_ptr<Download> download;
    QByteArray path;
    QString serial, product;
};

// Opens the CMSIS-DAP probe the command names (--probe; the first one otherwise) over
// `transport` ("hid", "bulk"; empty: v2 when the probe has it) and puts the probe into the
// command's report: the exit status, 0 when open.
int openDapProbe(Command &c, OpenedDapProbe &probe, QString &error, const QString &transport);

// Every probe plugged in: the dedicated ones with the window's firmware gate, then CMSIS-DAP probes
// of other makes with what each can do; JSON entries and one line each.
void listAllProbes(QJsonArray &list, QStringList &lines);

} // namespace cli
