// Exit statuses of quorvel-cli (the README's table is written from this one).
#pragma once

namespace cli {

enum ExitCode {
    ExitOk = 0,
    // 1..14: a programming run's result code (1 also: no probe, or none with that serial/path).
    ExitVerifyMismatch = 20, // the chip does not hold the files
    ExitChipNotFound = 21,
    ExitChipProtected = 22, // the flash cannot be read back
    ExitWrongChip = 23,
    ExitReadError = 24, // the probe reported a read error, or another verify failure
    ExitTransport = 25, // the probe stopped answering properly
    ExitOfflineEraseFailed = 26,
    ExitFirmwareRefused = 27, // the probe's firmware is refused, or too old for what was asked
    ExitPlanProblems = 28, // the flash map shows problems (plan; program without --force)
    ExitSwdBase = 40, // 41..54: a run over SWD (--via swd, erase) ended with SWD code status - 40
    ExitUsage = 64, // bad command line, bad option value, or a file list that breaks a rule
    ExitInputFile = 65, // a file that cannot be used: missing, unreadable, not HEX/BIN, malformed
    ExitCannotCreate = 73, // a job file (or plan's SVG) that cannot be written
    // The production record cannot be written: the run was refused, or its end was not recorded.
    ExitRecord = 74,
    ExitInterrupted = 130, // Ctrl-C: the runs in progress stopped between two exchanges
};

// Exit status of a verify read-back code.
int exitForVerify(int code);
// Exit status of an MD5/CRC-32 read-back code.
int exitForReadBack(int code);
// Exit status of an SWD result code (SwdCode).
int exitForSwd(int code);

} // namespace cli
