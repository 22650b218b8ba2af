// How a run erases before it programs: the one list the job, the window, the command line, the
// dedicated probe's run and the SWD host share (also the order of the job file's names).
#pragma once

namespace job {

enum EraseMode {
    FullErase = 0, // the whole chip: APROM and LDROM
    SectorErase = 1, // the sectors the images touch
    NoErase = 2,
    // Over SWD only: sectors already holding what the job leaves there are skipped, blank ones
    // programmed without an erase, the rest erased and programmed.
    AutoErase = 3,
};

} // namespace job
