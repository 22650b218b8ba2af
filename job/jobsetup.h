// A whole job as data: what the window's panels and file list hold, in a form the command line
// and job files can fill, check and apply to a job record.
#pragma once

#include "erasemode.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

class Download;

namespace job {

enum WatchdogOption { WatchdogKeep = 0, WatchdogOn = 0xA8, WatchdogOff = 0x55 };

// The probe a job runs on: the dedicated probe, or any CMSIS-DAP probe over SWD.
enum JobPath { ViaVendor = 0, ViaSwd = 1 };
constexpr uint32_t defaultSwdClockHz = 4000000;

struct JobFile
{
    QString path; // absolute, or relative to the working directory
    bool hasAddress = false; // a BIN needs one; a HEX without one goes to its own start
    uint32_t address = 0;
    // What the file held when the job was saved (length on disk, CRC-32 of its bytes); a job
    // whose file no longer matches is refused unless changes are accepted.
    bool hasFingerprint = false;
    qint64 length = 0;
    uint32_t crc32 = 0;
};

struct JobSetup
{
    int chipIndex = 3; // index in the chip list; QB48V
    int eraseMode = FullErase;
    bool program = true;
    bool verify = true;
    bool resetAndRun = false;
    int protectLevel = 0;
    uint32_t rollingAddress = 0; // 0: no rolling code
    uint32_t rollingValue = 0;
    uint32_t rollingStep = 0;
    int watchdog = WatchdogKeep;
    bool offline = false;
    uint32_t offlineCount = 0; // 0: no limit
    uint32_t offlineAutoMs = 0; // 0: no automatic start; else 300..3000
    bool offlineMachine = false;
    bool offlineForce = false;
    bool serialLedger = false; // the window's ledger box: rolling-code values from the record
    QVector<JobFile> files;
    // The device a pack describes, for the SWD path; empty: the shipped pack's default device.
    QString targetDevice;
    QString targetPack; // absolute; empty: the shipped packs and the user's pack folder
    // Values for the device pack's debugvars; --debugvar overrides them.
    QMap<QString, quint64> targetDebugVars;
    // Non-default algorithms to use too (file names), and the core of a multi-core device (its
    // Pname; empty: the one it boots from).
    QStringList targetAlgorithms;
    QString targetCore;
    int via = ViaVendor;
    // The SWD path's own choices.
    QString transport; // "hid" or "bulk"; empty: v2 (bulk) when the probe has it
    bool verifyReadback = false; // every byte read back instead of the target's CRC-32 per sector
    uint32_t swdClockHz = defaultSwdClockHz;
    // Traceability and the board's own check after reset (SWD path).
    QString uid; // "ADDRESS:LENGTH" of the chip's unique ID; empty: the device pack's, if any
    QString rttExpect; // a regular expression; empty: no check
    QString rttFail; // a regular expression; empty: none
    int rttTimeoutMs = 5000;
    uint32_t rttAddress = 0; // the RTT control block's place; 0: search the device's RAM
};

// Why a job's options cannot be used (a rule of the window's panels or dialogs), or empty.
QString optionsProblem(const JobSetup &setup);

// Writes the job's options into the record the way the window's panels do (files excluded).
void applyOptions(const JobSetup &setup, Download &d);

// Why loading the files failed: the file at fault and the message, or an empty message.
struct LoadProblem
{
    QString file;
    QString message;
    bool inputFile = false; // the file itself cannot be used (else: the list breaks a rule)
    bool isProblem() const { return !message.isEmpty(); }
};

// Loads the job's files into the record behind the files it holds, by the file list's rules:
// a HEX without an address goes to its own start; a HEX whose records lie too far apart for one
// image becomes one image per region; BIN needs an address; at most ten images, ascending and
// not overlapping. Stops at the first problem.
LoadProblem loadFiles(const JobSetup &setup, Download &d);

// The file's length and CRC-32 of its bytes; false when it cannot be read.
bool fileFingerprint(const QString &path, qint64 &length, uint32_t &crc32);

} // namespace job
