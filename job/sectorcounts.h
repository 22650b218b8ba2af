// What smart programming did to the flash: sectors erased, programmed, and left alone because
// they already held what the job leaves there; each counted once per run, whatever the outcome.
// The SWD host counts into it and the production record stores it.
#pragma once

struct SectorCounts
{
    int erased = -1; // -1: the path does not count sectors (the dedicated probe's)
    int programmed = -1;
    int skipped = -1;

    // A run that counts, before it has done anything.
    static constexpr SectorCounts none() { return {0, 0, 0}; }
    bool operator==(const SectorCounts &o) const
    {
        return erased == o.erased && programmed == o.programmed && skipped == o.skipped;
    }
};
