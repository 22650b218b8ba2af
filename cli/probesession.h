// The probe a command works with: found by serial number or path (or the first one, as the window
// connects), opened and identified through the job record, closed again at the end.
#pragma once

#include "engine/chiprecord.h"
#include "engine/download.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <memory>

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

} // namespace cli
