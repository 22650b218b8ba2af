// See rollingpatch.h.
#include "swd/rollingpatch.h"

#include "job/memorygeometry.h"
#include "pack/flmdescriptor.h"
#include "swd/debug/debugport.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

void putValue(std::vector<uint8_t> &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

} // namespace

bool rollingSectorOf(const pack::TargetDescription &target, uint32_t address, RollingSector &out)
{
    const pack::FlashAlgorithmRef *algorithm = target.algorithmFor(address);
    pack::FlmDescriptor flm;
    QString error;
    if (!algorithm || !pack::readFlmDescriptor(algorithm->image, flm, error))
        return false;
    const uint32_t offset = address - algorithm->start;
    const pack::FlmSectorRun *run = nullptr;
    for (const pack::FlmSectorRun &r : flm.sectors) {
        if (r.offset <= offset && r.size)
            run = &r;
    }
    if (!run)
        return false;
    out.start = algorithm->start + run->offset + (offset - run->offset) / run->size * run->size;
    out.size = run->size;
    out.erased = flm.erasedValue;
    return true;
}

SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value,
                           const RollingSector &where, const SwdFlashReader &read,
                           std::deque<std::vector<uint8_t>> &storage)
{
    const uint32_t sectorSize = where.size;
    if (address % 4 || sectorSize == 0 || sectorSize % 4 || address > UINT32_MAX - 4
        || address < where.start || uint64_t(address) + 4 > uint64_t(where.start) + sectorSize) {
        return SwdResult::failure(SwdBadJob,
                                  QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                                      .arg(address, 8, 16, QLatin1Char('0')));
    }
    const uint64_t sector = where.start;
    const uint64_t sectorEnd = sector + sectorSize;
    // The image that holds the address, else one whose bytes lie in the value's sector.
    auto touching = std::find_if(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
        return i.address <= address && uint64_t(i.address) + i.length >= uint64_t(address) + 4;
    });
    if (touching == job.images.end())
        touching = std::find_if(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
            return i.length && i.address < sectorEnd && uint64_t(i.address) + i.length > sector;
        });
    if (touching != job.images.end()) {
        const uint64_t start = std::min<uint64_t>(touching->address, address);
        const uint64_t end = std::max<uint64_t>(uint64_t(touching->address) + touching->length,
                                                uint64_t(address) + 4);
        const bool clashes =
            std::any_of(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
                return &i != &*touching && i.length && i.address < end
                    && uint64_t(i.address) + i.length > start;
            });
        if (clashes) {
            return SwdResult::failure(
                SwdBadJob,
                QCoreApplication::translate("QuorvelCli", "滚码地址0x%1处已有文件数据")
                    .arg(address, 8, 16, QLatin1Char('0')));
        }
        std::vector<uint8_t> bytes(size_t(end - start), where.erased);
        std::copy_n(touching->data, touching->length,
                    bytes.begin() + std::ptrdiff_t(touching->address - start));
        putValue(bytes, size_t(address - start), value);
        storage.push_back(std::move(bytes));
        touching->address = uint32_t(start);
        touching->data = storage.back().data();
        touching->length = uint32_t(storage.back().size());
        return {};
    }
    if (job.eraseMode == job::NoErase) {
        return SwdResult::failure(
            SwdBadJob,
            QCoreApplication::translate("QuorvelCli",
                                        "不擦除时不能把滚码写入没有文件数据的扇区（地址0x%1）")
                .arg(address, 8, 16, QLatin1Char('0')));
    }
    std::vector<uint8_t> bytes;
    if (read) {
        const SwdResult got = read(uint32_t(sector), sectorSize, bytes);
        if (!got.ok())
            return got;
    }
    if (bytes.size() != sectorSize) {
        return SwdResult::failure(
            SwdBadJob,
            QCoreApplication::translate("QuorvelCli", "无法读取滚码所在扇区（地址0x%1）")
                .arg(uint32_t(sector), 8, 16, QLatin1Char('0')));
    }
    putValue(bytes, size_t(address - sector), value);
    storage.push_back(std::move(bytes));
    job.images.push_back({uint32_t(sector), storage.back().data(), sectorSize,
                          QCoreApplication::translate("QuorvelCli", "滚码")});
    return {};
}

namespace {

// A chip with a read window shows its main flash only below the windowed bank.
uint64_t readLimitOf(const QString &device)
{
    const quorvel::MemoryGeometry *chip = quorvel::geometryForDevice(device.toUtf8().constData());
    return chip ? chip->ldrom.base : uint64_t(1) << 32;
}

SwdResult unreadable(uint32_t address, uint32_t length, uint64_t limit)
{
    if (length % 4 == 0 && uint64_t(address) + length <= limit)
        return {};
    return SwdResult::failure(
        SwdBadJob,
        QStringLiteral("the rolling code's sector cannot be read where the core sees it"));
}

} // namespace

SwdResult checkRollingCode(const SwdJob &job, uint32_t address)
{
    RollingSector sector;
    if (!rollingSectorOf(job.target, address, sector))
        return SwdResult::failure(SwdBadJob,
                                  QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                                      .arg(address, 8, 16, QLatin1Char('0')));
    // The same patch on a copy, with a flash that reads erased wherever the core could read it.
    SwdJob copy = job;
    std::deque<std::vector<uint8_t>> storage;
    const uint64_t limit = readLimitOf(job.target.device);
    const uint8_t erased = sector.erased;
    return patchRollingCode(
        copy, address, 0, sector,
        [limit, erased](uint32_t at, uint32_t length, std::vector<uint8_t> &bytes) {
            const SwdResult refused = unreadable(at, length, limit);
            if (refused.ok())
                bytes.assign(length, erased);
            return refused;
        },
        storage);
}

SwdFlashReader swdFlashReader(DapTransport &probe, uint32_t clockHz, const QString &device)
{
    const uint64_t limit = readLimitOf(device);
    return
        [&probe, clockHz, limit](uint32_t address, uint32_t length, std::vector<uint8_t> &bytes) {
            if (const SwdResult refused = unreadable(address, length, limit); !refused.ok())
                return refused;
            DapPipe link(probe);
            DebugPort port(link);
            std::vector<uint32_t> words(length / 4);
            const bool ok = link.open() && port.connect(clockHz)
                && port.readBlock(address, words.data(), words.size()) && port.sync();
            port.disconnect();
            link.drain();
            if (!ok)
                return link.error();
            bytes.resize(length);
            for (size_t i = 0; i < words.size(); ++i)
                for (int b = 0; b < 4; ++b)
                    bytes[i * 4 + size_t(b)] = uint8_t(words[i] >> (8 * b));
            return SwdResult{};
        };
}
