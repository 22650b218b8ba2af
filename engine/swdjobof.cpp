#include "engine/swdjobof.h"

#include "engine/download.h"
#include "job/jobsetup.h"

SwdJob swdJobOf(const job::JobSetup &setup, const Download &d)
{
    SwdJob job;
    for (int i = 0; i < d.fileCount; ++i)
        job.images.push_back({d.imageAddress[i], d.imageData[i], d.imageLength[i], d.fileName[i]});
    job.eraseMode = setup.eraseMode;
    job.program = setup.program;
    job.verify = setup.verify && (setup.program || setup.eraseMode == job::NoErase);
    job.resetAndRun = setup.resetAndRun;
    for (auto it = setup.targetDebugVars.begin(); it != setup.targetDebugVars.end(); ++it)
        job.connect.debugvars[it.key()] = it.value();
    return job;
}
