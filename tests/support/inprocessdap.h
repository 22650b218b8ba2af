// The window's tests on the SWD path: the virtual CMSIS-DAP probe linked into the test, on model
// time, and a pack folder of the test's own, never the real user's.
#pragma once

#include "cmsisdapprobe.h"

#include <QString>
#include <QtGlobal>

inline bool useInProcessCmsisDap(const QString &dataHome)
{
    qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());
    qputenv("QUORVEL_VPROBE_KIND", "cmsis-dap");
    qputenv("QUORVEL_VPROBE_DAP_REALTIME", "0");
    vprobe::configureCmsisDapFromEnvironment();
    return vprobe::CmsisDapProbe::active();
}
