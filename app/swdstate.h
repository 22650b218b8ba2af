// What the window holds for the SWD path: the chosen device and SWD choices, the open CMSIS-DAP
// probe and the widgets only that path shows (made the first time the path is chosen, so the
// dedicated probe's face has none of them).
#pragma once

#include "presence.h"
#include "selftestdlg.h"
#include "swd/chipid.h"
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"

#include <QString>
#include <QStringList>

#include <memory>

class QActionGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class SwdWorker;

struct SwdState
{
    bool active = false; // the path chosen in the project menu
    // The job's device; empty: the shipped pack's default.
    QString device, pack, core;
    QStringList algorithms;
    QString transport; // "hid", "bulk"; empty: v2 when the probe has it
    uint32_t clockHz = 4000000;
    SelfTestFields checks; // the job's chip ID and self-test, kept as a loaded job had them

    std::unique_ptr<OpenedDapProbe> probe; // open while connected
    DapProbe probeInfo;
    ProbeCaps caps;

    SwdJob job; // of the run in progress; its images point into the window's record
    UidPlace uid; // of the run in progress: read before it when given
    std::shared_ptr<QString> chipUid; // what the run read, lower-case hex
    QStringList phases; // the run's phases, for the bar
    SwdWorker *worker = nullptr; // lives in the worker thread
    bool busy = false; // the worker has the probe: nothing else may talk to it
    engine::RemovalCount removal; // the line's "no target" answers since its last run
    bool reading = false; // the run in progress is a read-out, not a job
    bool readingUid = false; // the chip's ID is being read before the job's row and serial
    QString readFile;
    uint32_t readAddress = 0, readLength = 0;
    std::shared_ptr<QByteArray> readBytes;

    QActionGroup *pathGroup = nullptr;
    QRadioButton *autoErase = nullptr;
    QComboBox *verifyMode = nullptr;
    QPushButton *deviceButton = nullptr;
    QLabel *deviceLabel = nullptr;
};
