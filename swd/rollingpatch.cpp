// See rollingpatch.h.
#include "rollingpatch.h"

#include "debugport.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

void putValue(std::vector<uint8_t> &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

} // namespace

bool patchRollingCode(SwdJob &job, uint32_t address, uint32_t value, uint32_t sectorSize,
                      const SwdFlashReader &read, std::deque<std::vector<uint8_t>> &storage,
                      QString &error)
{
    if (address % 4 || sectorSize == 0 || sectorSize % 4 || address > UINT32_MAX - 4) {
        error = QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                    .arg(address, 8, 16, QLatin1Char('0'));
        return false;
    }
    const uint64_t sector = address - address % sectorSize;
    const uint64_t sectorEnd = sector + sectorSize;
    // The image whose bytes lie in the value's sector, if any (images never overlap).
    auto touching = std::find_if(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
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
            error = QCoreApplication::translate("QuorvelCli", "滚码地址0x%1处已有文件数据")
                        .arg(address, 8, 16, QLatin1Char('0'));
            return false;
        }
        std::vector<uint8_t> bytes(size_t(end - start), 0xFF);
        std::copy_n(touching->data, touching->length,
                    bytes.begin() + std::ptrdiff_t(touching->address - start));
        putValue(bytes, size_t(address - start), value);
        storage.push_back(std::move(bytes));
        touching->address = uint32_t(start);
        touching->data = storage.back().data();
        touching->length = uint32_t(storage.back().size());
        return true;
    }
    if (job.eraseMode == SwdEraseNone) {
        error = QCoreApplication::translate("QuorvelCli",
                                            "不擦除时不能把滚码写入没有文件数据的扇区（地址0x%1）")
                    .arg(address, 8, 16, QLatin1Char('0'));
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!read || !read(uint32_t(sector), sectorSize, bytes) || bytes.size() != sectorSize) {
        error = QCoreApplication::translate("QuorvelCli", "无法读取滚码所在扇区（地址0x%1）")
                    .arg(uint32_t(sector), 8, 16, QLatin1Char('0'));
        return false;
    }
    putValue(bytes, size_t(address - sector), value);
    storage.push_back(std::move(bytes));
    job.images.push_back({uint32_t(sector), storage.back().data(), sectorSize,
                          QCoreApplication::translate("QuorvelCli", "滚码")});
    return true;
}

SwdFlashReader swdApromReader(hid_device *dev, uint32_t clockHz)
{
    return [dev, clockHz](uint32_t address, uint32_t length, std::vector<uint8_t> &bytes) {
        if (address >= kSwdLdromBase || length % 4 || length > kSwdLdromBase - address)
            return false;
        DapPipe link(dev);
        DebugPort port(link);
        std::vector<uint32_t> words(length / 4);
        const bool ok = link.open() && port.connect(clockHz)
            && port.readBlock(address, words.data(), words.size()) && port.sync();
        port.disconnect();
        link.drain();
        if (!ok)
            return false;
        bytes.resize(length);
        for (size_t i = 0; i < words.size(); ++i)
            for (int b = 0; b < 4; ++b)
                bytes[i * 4 + size_t(b)] = uint8_t(words[i] >> (8 * b));
        return true;
    };
}
