// Where a chip keeps its unique ID and reading it over SWD, so that the record can tell one board
// from another where the debug port's IDCODE names only the family.
#pragma once

#include "pack/targetdescription.h"
#include "swd/link/daptransport.h"
#include "swd/swdresult.h"

#include <QString>

#include <cstdint>

// Longer than any part's ID; a longer one is a typing error.
constexpr uint32_t kMaxUidBytes = 32;

struct UidPlace
{
    uint32_t address = 0;
    uint32_t length = 0; // 0: the run reads no ID
    bool given() const { return length != 0; }
};

// "ADDRESS:LENGTH" (decimal or 0x hex, 1..kMaxUidBytes bytes, within 4 GiB); false with `error`.
bool parseUidPlace(const QString &text, UidPlace &out, QString &error);
// The device's own <uniqueid start=".." size=".."/> element, when its pack has one; false with
// `error` for one whose values are not a place `parseUidPlace` would accept.
bool uidPlaceOf(const pack::TargetDescription &target, UidPlace &out, QString &error);

// Connects and reads the ID as the bus holds it, its bytes in address order as lower-case hex.
// The core is left as it was: the ID is readable while the application runs.
SwdResult readChipUid(DapTransport &probe, uint32_t clockHz, const UidPlace &place, QString &hex);
