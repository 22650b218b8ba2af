// The board's own check after the reset: its firmware prints into an RTT up-buffer while the
// core runs; the run reads it through the same debug port until a verdict.
#include "swd/jobrun.h"
#include "swd/rtt/debugmemory.h"

#include <QCoreApplication>

namespace swdrun {

namespace {

// The last line the board printed, for the message; bounded so the message stays one line.
QString lastLine(const QByteArray &text)
{
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed().left(120));
}

} // namespace

bool JobRun::selfTest(const rtt::CheckOptions &options)
{
    report("check", 0);
    rtt::DebugMemory memory(m_port);
    rtt::UpReader reader(memory, rtt::ramOf(m_target));
    const rtt::CheckResult r = rtt::runCheck(reader, options);
    m_functional = QString::fromLatin1(rtt::verdictName(r.verdict));
    m_functionalText = r.text;
    const QString printed = lastLine(r.text);
    // The caller puts "programmed, self-test failed" in front.
    switch (r.verdict) {
    case rtt::Verdict::Passed:
        break;
    case rtt::Verdict::Failed:
        m_checkMessage = printed;
        break;
    case rtt::Verdict::TimedOut:
        m_checkMessage = QCoreApplication::translate("Swd", "%1毫秒内没有结果（最后输出：%2）")
                             .arg(options.timeoutMs)
                             .arg(printed.isEmpty() ? QStringLiteral("-") : printed);
        break;
    default:
        m_checkMessage = r.error;
        break;
    }
    report("check", 100);
    return r.verdict != rtt::Verdict::ReadFailed;
}

} // namespace swdrun
