// The chip list, its model codes on the wire, and the probe firmware gates: one home for the rules
// that the window's panels and the command line both apply.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace job {

// Entries of the window's chip list, by index; index 0 is "no chip selected".
constexpr int chipEntryCount = 7;
constexpr int defaultChipIndex = 3; // QB48, shown as "QB48V"
constexpr int qd52Model = 4;

// Model code sent on the wire for a chip-list index; an index outside the list selects nothing.
int modelForIndex(int index);
// Index of a chip-list name (case-insensitive; "QB48" and "QB48V" both name index 3), or -1.
int chipIndexForName(const QString &name);
// The selectable names, in list order ("QA12", ..., "QC18/19").
QStringList chipNames();
// Name shown for a model code ("QB48V" for 2), empty for 0 or an unknown code.
QString chipNameForModel(int model);

// Version word: marker 0x6CFF in bits 31..16, major in 15..8, two digits after the point below.
QString firmwareVersionText(uint32_t probeId);
// The probe is accepted for firmware 1.90 .. 1.9F only.
bool firmwareAccepted(uint32_t probeId);
// QD52 support arrived with firmware 1.95.
bool firmwareRefusesQd52(uint32_t probeId);
// The MD5 and CRC-32 read-backs arrived with firmware 1.96.
bool firmwareRefusesReadback(uint32_t probeId);

// The Level-2 read-protection password of the chip family's documentation, typed as up to eight
// hex digits and compared as one 32-bit number. Level 2 cannot be undone on the chip.
constexpr uint32_t readProtectLevel2Password = 0x5A3C96E1;
// True when `text` (hex digits only, at most eight) reads as the Level-2 password.
bool level2PasswordMatches(const QString &text);

} // namespace job
