// The user messages of runs and read-backs, shared by the window (as HTML) and the command line
// (as plain text). Translated in the main window's context, so both speak the same words.
#pragma once

#include <QString>
#include <cstdint>

class Download;

namespace job {

// A probe that asks to be reconnected (code 6) gets this many automatic restarts of the job; a
// probe that keeps asking would otherwise restart it for ever.
constexpr int maxCodeSixRestarts = 3;

// Whether a programming run's result code is a pass: programmed (0), or an erase-only job that
// erased (5). The window, the command line, the gang runner and the record all ask this.
constexpr bool runPassed(int code)
{
    return code == 0 || code == 5;
}

// The message of a programming run's result code; an unknown code gives "其他错误！".
QString runResultMessage(int code);
// Where the window's progress bar goes for a result code; -1 leaves it where the run put it.
int runResultBar(int code);

// Messages of the verify read-back, by its code, and of a failed MD5/CRC-32 read-back (empty for
// codes that have no message).
QString verifyMessage(int code);
QString readBackFailureMessage(int code);
// Why an MD5/CRC-32 read-back cannot start (not connected, firmware older than 1.96), or empty.
QString readBackRefusal(int connected, uint32_t probeId);
// The message of a probe whose firmware is refused; shown as written, in any language.
QString refusedFirmwareMessage(uint32_t probeId);
// The message of QD52 chosen on a probe older than firmware 1.95.
QString qd52RefusedMessage();
// The offline job erase's messages, by its code.
QString offlineEraseMessage(int code);

// Why a read-back range cannot be used (size 0, address or size not a multiple of 4), or empty.
QString rangeProblem(uint32_t address, uint32_t size);
// The results of the MD5 and CRC-32 read-backs of a range, and of the host-side CRC-32 of the
// listed images (Download::fileCrc, computed by the caller).
QString md5ResultMessage(uint32_t address, uint32_t size, const uint8_t digest[16]);
QString crcResultMessage(uint32_t address, uint32_t size, uint32_t crc);
QString fileCrcMessage(const Download &d);
// No file is listed for the host-side CRC-32.
QString noFilesMessage();

// The text of an HTML message without its markup ("<br>" becomes a line break), trimmed.
QString plainText(const QString &html);

} // namespace job
