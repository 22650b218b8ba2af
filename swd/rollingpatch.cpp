// See rollingpatch.h.
#include "rollingpatch.h"

#include "debugport.h"
#include "job/memorygeometry.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

void putValue(std::vector<uint8_t> &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

} // namespace

SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value, uint32_t sectorSize,
                           const SwdFlashReader &read, std::deque<std::vector<uint8_t>> &storage)
{
    if (address % 4 || sectorSize == 0 || sectorSize % 4 || address > UINT32_MAX - 4) {
        return SwdResult::failure(SwdBadJob,
                                  QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                                      .arg(address, 8, 16, QLatin1Char('0')));
    }
    const uint64_t sector = address - address % sectorSize;
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
        std::vector<uint8_t> bytes(size_t(end - start), 0xFF);
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

SwdFlashReader swdApromReader(DapTransport &probe, uint32_t clockHz)
{
    return [&probe, clockHz](uint32_t address, uint32_t length, std::vector<uint8_t> &bytes) {
        const uint32_t ldrom = quorvel::qb48Geometry.ldrom.base;
        if (address >= ldrom || length % 4 || length > ldrom - address)
            return SwdResult::failure(SwdBadJob,
                                      QStringLiteral("only main flash is read for the "
                                                     "rolling code's sector"));
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
