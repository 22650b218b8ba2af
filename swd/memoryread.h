// Reading a range of target memory over SWD, flash or RAM, as the device's pack maps it.
#pragma once

#include "pack/targetdescription.h"
#include "swd/link/daptransport.h"
#include "swd/swdprogrammer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The most one read takes: far more than any device's flash, and still a buffer a host can hold.
constexpr uint32_t kLargestSwdRead = 64u * 1024 * 1024;

// Why the device cannot be read at [address, address + length) (not inside one of its memories,
// empty, or too long), or empty when it can.
QString swdReadProblem(const pack::TargetDescription &target, uint32_t address, uint32_t length);

// Connects as `connect` says (the core left halted) and reads the range into `out`; a flash behind
// the chip's read window (the QB48x's LDROM) is read through it. Phases: "connect", "read", each
// 0..100. A target that answers FAULT inside its memory map refuses to be read (SwdFault): a
// read-protected part.
SwdResult readMemory(DapTransport &probe, const pack::TargetDescription &target,
                     const SwdConnectOptions &connect, uint32_t clockHz, uint32_t address,
                     uint32_t length, QByteArray &out, const SwdProgress &progress);
