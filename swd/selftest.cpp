// The board's own check after the reset: its firmware prints into an RTT up-buffer while the
// core runs; the run reads it through the same debug port until a verdict.
#include "swd/jobrun.h"
#include "swd/rtt/debugmemory.h"

#include <QCoreApplication>

#include <map>
#include <mutex>

namespace swdrun {

namespace {

// The last line the board printed, for the message; bounded so the message stays one line.
QString lastLine(const QByteArray &text)
{
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed().left(120));
}

// Where the control block was on the device's last board: a line programs one image, so the
// next board's block is looked for there first, and the RAM searched only when it is not.
uint32_t lastBlock(const QString &device, uint32_t found = 0)
{
    static std::mutex mutex;
    static std::map<QString, uint32_t> places;
    std::lock_guard<std::mutex> lock(mutex);
    if (found)
        places[device] = found;
    const auto it = places.find(device);
    return it == places.end() ? 0 : it->second;
}

} // namespace

bool JobRun::selfTest(const rtt::CheckOptions &options)
{
    report("check", 0);
    rtt::DebugMemory memory(m_port);
    rtt::UpReader reader(memory, rtt::ramOf(m_target));
    const uint32_t hint = options.address ? 0 : lastBlock(m_target.device);
    if (hint)
        reader.find(hint); // one look there; found, the check polls it, else searches as usual
    const rtt::CheckResult r = rtt::runCheck(reader, options);
    if (!options.address && reader.blockAddress())
        lastBlock(m_target.device, reader.blockAddress());
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
