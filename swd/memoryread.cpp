// Memory read-out over SWD: aligned block reads through the debug port, in pieces so the
// progress moves and a fault is named near where it happened.
#include "swd/memoryread.h"

#include "swd/debug/debugport.h"
#include "swd/debug/targetcontrol.h"

#include <QCoreApplication>

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t kPieceWords = 4096; // 16 KiB between progress steps

} // namespace

QString swdReadProblem(const pack::TargetDescription &target, uint32_t address, uint32_t length)
{
    if (length == 0)
        return QCoreApplication::translate("Swd", "读出长度为0");
    if (length > kLargestSwdRead)
        return QCoreApplication::translate("Swd", "一次最多读出%1字节").arg(kLargestSwdRead);
    const uint64_t end = uint64_t(address) + length;
    for (const pack::MemoryRegion &memory : target.memories) {
        if (address >= memory.start && end <= memory.end())
            return QString();
    }
    return QCoreApplication::translate("Swd", "%1到%2不在%3的任何一个存储器中")
        .arg(hex8(address), hex8(uint32_t(end - 1)), target.device);
}

SwdResult readMemory(DapTransport &probe, const pack::TargetDescription &target,
                     const SwdConnectOptions &connect, uint32_t clockHz, uint32_t address,
                     uint32_t length, QByteArray &out, const SwdProgress &progress)
{
    auto report = [&](const char *phase, int percent) {
        if (progress)
            progress(QString::fromLatin1(phase), percent);
    };
    const QString problem = swdReadProblem(target, address, length);
    if (!problem.isEmpty())
        return SwdResult::failure(SwdBadJob, problem);
    uint8_t apsel = 0;
    QString apError;
    if (!target.accessPort(apsel, apError))
        return SwdResult::failure(SwdBadJob, apError);
    DapPipe link(probe);
    DebugPort port(link);
    port.setAccessPort(apsel);
    TargetControl control(port, target, connect);
    auto finish = [&] {
        port.disconnect();
        link.drain(); // after a failure, replies may still be owed
        SwdResult result = link.error();
        if (!result.ok() && !control.advice().isEmpty())
            result.message += QStringLiteral("; ") + control.advice();
        return result;
    };
    report("connect", 0);
    // Halted as the connect mode says; no reset, so RAM and registers are what the chip left.
    if (!link.open() || !control.connect(clockHz))
        return finish();
    report("connect", 100);

    // A flash the chip shows only through its read window is read there, the window switched
    // back afterwards so the core boots as before.
    const pack::MemoryRegion *memory = target.windowedMemory(address);
    const std::optional<pack::ReadWindow> window =
        memory && uint64_t(address) + length <= memory->end() ? memory->readWindow : std::nullopt;
    const uint32_t readFrom = window ? address - memory->start + window->base : address;
    if (window && !port.write32(window->selectRegister, window->show))
        return finish();

    const uint32_t first = readFrom & ~3u;
    const uint64_t last = (uint64_t(readFrom) + length + 3) & ~uint64_t(3);
    std::vector<uint32_t> words(size_t((last - first) / 4));
    report("read", 0);
    for (size_t done = 0; done < words.size();) {
        const size_t n = std::min<size_t>(kPieceWords, words.size() - done);
        if (!port.readBlock(first + uint32_t(4 * done), words.data() + done, n) || !port.sync())
            return finish();
        done += n;
        report("read", int(uint64_t(done) * 100 / words.size()));
    }
    if (window && !port.write32(window->selectRegister, window->hide))
        return finish();
    QByteArray bytes(int(words.size() * 4), Qt::Uninitialized);
    for (size_t i = 0; i < words.size(); ++i) {
        for (int b = 0; b < 4; ++b)
            bytes[int(4 * i) + b] = char(words[i] >> (8 * b));
    }
    out = bytes.mid(int(readFrom - first), int(length));
    return finish();
}
