// Outcome of every SWD operation: a code the command line maps to its exit status and an English
// message that says what went wrong and where.
#pragma once

#include "job/sectorcounts.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

enum SwdCode {
    SwdOk = 0,
    SwdProbeLost = 1, // the probe vanished or a report could not be written or read
    SwdProbeTimeout = 2, // a reply did not come within its time-out
    SwdBadReply = 3, // a reply that is not the answer to the command (echo, length, count)
    SwdNotSwd = 4, // the probe cannot do SWD, refuses a command, or has an unusable packet size
    SwdNoTarget = 5, // no debug port answers, or it will not power up
    SwdWait = 6, // the target kept answering WAIT beyond the probe's retries
    SwdFault = 7, // the target answered FAULT (bus error, sticky error)
    SwdProtocol = 8, // SWD parity error, no ACK, value mismatch
    SwdNoHalt = 9, // the core did not halt in time: after a halt request, or a routine that
                   // did not return within its time-out
    SwdAlgorithmMissing = 10, // the flash algorithm file is not there
    SwdAlgorithmInvalid = 11, // the file is not a usable flash algorithm
    SwdAlgorithmFailed = 12, // a routine returned non-zero, stopped elsewhere, or a wrong CRC
    SwdBadJob = 13, // an image outside the flash, or nothing to do
    SwdVerifyMismatch = 14, // the flash read back differs from the image
    // Programmed and verified, but the board's own check over RTT did not pass: the failure
    // pattern, the time-out, no control block, or one that cannot be right.
    SwdSelfTestFailed = 15,
};

// How a full erase blanked one bank: "chip" (the algorithm's EraseChip), "chip+sectors" (EraseChip,
// then the sectors it left not blank one by one) or "sectors" (every sector of the bank).
struct BankErase
{
    QString algorithm; // its file name
    QString by;
    int sectors = 0; // erased one by one
};

struct SwdResult
{
    int code = SwdOk;
    QString message; // empty on success
    SectorCounts sectors = SectorCounts::none();
    // How the run used the algorithm's RAM: page buffers (0: none planned) and whether the CRC
    // routine fitted beside them (else verify and the erase decision read the flash back).
    int pageBuffers = 0;
    bool crcRoutine = false;
    // The self-test after reset: its verdict ("passed", "failed", "timeout", ...; empty when
    // none ran) and what the board printed.
    QString functional;
    QByteArray functionalText;
    QVector<BankErase> fullErase; // per bank a full erase blanked, in the order it erased them

    bool ok() const { return code == SwdOk; }
    static SwdResult failure(int code, const QString &message)
    {
        SwdResult r;
        r.code = code;
        r.message = message;
        return r;
    }
};

// An address or word as every SWD message writes it: "0x" and eight upper-case hex digits.
inline QString hex8(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}
