// Connecting to a device and resetting it the way its pack and the user ask: connect modes, reset
// types and the debug sequences at the points they belong to.
#pragma once

#include "pack/targetdescription.h"
#include "swd/debug/debugport.h"
#include "swd/debug/portsequencehost.h"
#include "swd/debug/sequencerunner.h"

#include <QMap>

#include <memory>

enum class SwdResetType { Default, Hardware, System, Core };
enum class SwdConnectMode { Normal, UnderReset, HaltOnReset };

struct SwdConnectOptions
{
    SwdConnectMode mode = SwdConnectMode::Normal;
    SwdResetType reset = SwdResetType::Default; // Default: the pack's, else system
    QMap<QString, uint64_t> debugvars; // overrides of the pack's <debugvars>
};

// "hardware", "system", "core"; "normal", "under-reset", "halt-on-reset". False for anything else.
bool parseResetType(const QString &text, SwdResetType &out);
bool parseConnectMode(const QString &text, SwdConnectMode &out);
// NAME=VALUE with a decimal or 0x value; false with the reason.
bool parseDebugVar(const QString &text, QString &name, uint64_t &value, QString &error);
// The reset a device gets: the option, else the pack's default reset sequence, else system.
SwdResetType effectiveResetType(const pack::TargetDescription &target, SwdResetType option);
QString resetTypeName(SwdResetType type);
QString resetSequenceOf(SwdResetType type);

class TargetControl
{
public:
    static constexpr int kHaltTimeoutMs = 500;

    TargetControl(DebugPort &port, const pack::TargetDescription &target,
                  const SwdConnectOptions &options);

    // Leaves the core halted and the debug port ready, as the connect mode says.
    bool connect(uint32_t clockHz);
    // Resets with the vector catch on, so the core stops before its first instruction.
    bool resetAndHalt();
    // Debug off and a reset, so the application starts as on its own.
    bool resetAndRun();
    bool flashEraseDone() { return run("FlashEraseDone"); }
    bool flashProgramDone() { return run("FlashProgramDone"); }
    bool definesStep(const QString &sequence) const { return m_runner.definedByPack(sequence); }

    SwdResetType resetType() const { return m_reset; }
    const QStringList &notes() const { return m_runner.notes(); }
    // What to try when connect() failed; empty when there is nothing better to suggest.
    const QString &advice() const { return m_advice; }

private:
    bool run(const QString &sequence, int code = SwdProtocol);
    bool bringUpPort(uint32_t clockHz);
    bool reset();
    bool catchReset();

    DebugPort &m_port;
    pack::DebugDescription m_debug;
    SwdConnectOptions m_options;
    SwdResetType m_reset;
    PortSequenceHost m_host;
    SequenceRunner m_runner;
    bool m_started = false;
    uint8_t m_apsel = 0; // the chosen core's MEM-AP
    QString m_apError; // why the pack's access port cannot be used, if it cannot
    QString m_advice;
};
