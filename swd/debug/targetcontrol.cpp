// The order follows the debug description's connect and reset flows; each step is a sequence, the
// pack's own or the default, so a device can replace any of them.
#include "swd/debug/targetcontrol.h"

namespace {

const char *const kResetNames[] = {"", "hardware", "system", "core"};
const char *const kModeNames[] = {"normal", "under-reset", "halt-on-reset"};
const char *const kUnderResetAdvice =
    "if its firmware turns the SWD pins off or sleeps, connect with --connect under-reset";

// The target stopped answering at all, rather than refusing one access.
bool fellSilent(const SwdResult &error)
{
    return (error.code == SwdNoTarget || error.code == SwdProtocol)
        && error.message.contains(QLatin1String("no valid ACK"));
}

} // namespace

bool parseResetType(const QString &text, SwdResetType &out)
{
    for (int i = 1; i < 4; ++i)
        if (text == QLatin1String(kResetNames[i])) {
            out = SwdResetType(i);
            return true;
        }
    return false;
}

bool parseConnectMode(const QString &text, SwdConnectMode &out)
{
    for (int i = 0; i < 3; ++i)
        if (text == QLatin1String(kModeNames[i])) {
            out = SwdConnectMode(i);
            return true;
        }
    return false;
}

bool parseDebugVar(const QString &text, QString &name, uint64_t &value, QString &error)
{
    const int eq = text.indexOf(QLatin1Char('='));
    name = text.left(eq).trimmed();
    const QString v = text.mid(eq + 1).trimmed();
    bool ok = eq > 0 && !name.isEmpty();
    for (const QChar c : name)
        ok = ok && (c.isLetterOrNumber() || c == QLatin1Char('_'));
    if (!ok) {
        error = QStringLiteral("--debugvar %1: expected NAME=VALUE").arg(text);
        return false;
    }
    value = v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? v.midRef(2).toULongLong(&ok, 16)
        : v.toULongLong(&ok, 10);
    if (!ok)
        error = QStringLiteral("--debugvar %1: %2 is not a number").arg(text, v);
    return ok;
}

SwdResetType effectiveResetType(const pack::TargetDescription &target, SwdResetType option)
{
    if (option != SwdResetType::Default)
        return option;
    const QString &packs = target.debug.defaultResetSequence;
    if (packs == QLatin1String("ResetHardware"))
        return SwdResetType::Hardware;
    if (packs == QLatin1String("ResetProcessor"))
        return SwdResetType::Core;
    return SwdResetType::System;
}

QString resetTypeName(SwdResetType type)
{
    return QLatin1String(kResetNames[int(type)]);
}

QString resetSequenceOf(SwdResetType type)
{
    switch (type) {
    case SwdResetType::Hardware:
        return QStringLiteral("ResetHardware");
    case SwdResetType::Core:
        return QStringLiteral("ResetProcessor");
    default:
        return QStringLiteral("ResetSystem");
    }
}

TargetControl::TargetControl(DebugPort &port, const pack::TargetDescription &target,
                             const SwdConnectOptions &options)
    : m_port(port)
    , m_debug(target.debug)
    , m_options(options)
    , m_reset(effectiveResetType(target, options.reset))
    , m_host(port)
    , m_runner(m_host, m_debug, target.processor.core, target.processor.pname)
{
    target.accessPort(m_apsel, m_apError);
}

bool TargetControl::run(const QString &sequence, int code)
{
    if (m_port.link().failed())
        return false;
    if (m_runner.run(sequence))
        return true;
    // A probe that went away already said so; otherwise the sequence's own words stand.
    if (!m_port.link().failed())
        m_port.link().fail(code, m_runner.error());
    return false;
}

bool TargetControl::bringUpPort(uint32_t clockHz)
{
    if (!m_runner.definedByPack("DebugPortSetup") && !m_runner.definedByPack("DebugPortStart"))
        return m_port.connect(clockHz);
    return (m_started || m_port.start(clockHz)) && run("DebugPortSetup", SwdNoTarget)
        && run("DebugPortStart", SwdNoTarget) && m_port.adopt();
}

bool TargetControl::connect(uint32_t clockHz)
{
    if (!m_apError.isEmpty())
        return m_port.link().fail(SwdBadJob, m_apError);
    m_port.setAccessPort(m_apsel);
    m_runner.setPredefined(QStringLiteral("__ap"), m_apsel);
    if (!m_runner.loadDebugVars(m_options.debugvars))
        return m_port.link().fail(SwdBadJob, m_runner.error());
    if (m_options.mode == SwdConnectMode::UnderReset) {
        // nRESET low before the first SWD bit: the firmware never gets to turn the pins off.
        if (!m_port.start(clockHz) || !run("ResetHardwareAssert", SwdNoTarget))
            return false;
        m_started = true;
    }
    if (!bringUpPort(clockHz)) {
        // Only the target's silence says anything about its firmware; a probe's refusal does not.
        if (m_options.mode == SwdConnectMode::Normal && m_port.error().code == SwdNoTarget)
            m_advice = QLatin1String(kUnderResetAdvice);
        return false;
    }
    // Firmware that takes the pins a few milliseconds after reset does so in the middle of this.
    const bool normal = m_options.mode == SwdConnectMode::Normal;
    if (!run("DebugDeviceUnlock", SwdNoTarget) || !run("DebugCoreStart", SwdNoTarget)) {
        if (normal && fellSilent(m_port.error()))
            m_advice = QLatin1String(kUnderResetAdvice);
        return false;
    }
    switch (m_options.mode) {
    case SwdConnectMode::Normal:
        if (m_port.halt(kHaltTimeoutMs))
            return true;
        if (m_port.error().code == SwdNoHalt)
            m_advice = QStringLiteral("connect with --connect under-reset or halt-on-reset");
        else if (fellSilent(m_port.error()))
            m_advice = QLatin1String(kUnderResetAdvice);
        return false;
    case SwdConnectMode::UnderReset:
        if (!m_port.requestHalt() || !catchReset() || !run("ResetHardwareDeassert", SwdNoTarget))
            return false;
        break;
    case SwdConnectMode::HaltOnReset:
        if (!catchReset() || !reset())
            return false;
        break;
    }
    return m_port.waitHalt(kHaltTimeoutMs, QStringLiteral("connect, caught at the reset vector"))
        && run("ResetCatchClear");
}

bool TargetControl::catchReset()
{
    return run("ResetCatchSet");
}

bool TargetControl::reset()
{
    // The sequence touches DEMCR, DHCSR and AIRCR without the port's window.
    const bool ok = run(resetSequenceOf(m_reset));
    m_port.forgetWindow();
    return ok;
}

bool TargetControl::resetAndHalt()
{
    return catchReset() && reset()
        && m_port.waitHalt(kHaltTimeoutMs, QStringLiteral("reset before loading the algorithm"))
        && run("ResetCatchClear");
}

bool TargetControl::resetAndRun()
{
    return run("ResetCatchClear") && run("DebugCoreStop") && reset();
}
