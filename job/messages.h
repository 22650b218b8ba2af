// The user messages of runs and read-backs, shared by the window (as HTML) and the command line
// (as plain text). Translated in the main window's context, so both speak the same words.
#pragma once

#include <QString>
#include <cstdint>

namespace job {

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

// The text of an HTML message without its markup ("<br>" becomes a line break), trimmed.
QString plainText(const QString &html);

} // namespace job
