// A recorded run's outcome in the reader's language, rebuilt from its status, result code and path:
// the stored message stays as it was written (for audit), in whatever language its recorder spoke.
#pragma once

#include <QString>

// "vendor" results are the dedicated probe's run codes; "swd" results are the CLI's exit status
// (0, or 40 + the SWD code). A run that ended before any result (-1), e.g. refused by the ledger,
// has only its stored message, which is returned as it is; an interrupted run reads "中断".
QString recordedResultText(const QString &status, int result, const QString &via,
                           const QString &storedMessage);
