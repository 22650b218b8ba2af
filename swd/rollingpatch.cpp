// See rollingpatch.h.
#include "swd/rollingpatch.h"

#include "pack/flmdescriptor.h"
#include "swd/builder/flashbuilder.h"

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
    const uint32_t base = bankBase(target, *algorithm, flm.deviceStart);
    if (address < base)
        return false;
    const uint32_t offset = address - base;
    const pack::FlmSectorRun *run = nullptr;
    for (const pack::FlmSectorRun &r : flm.sectors) {
        if (r.offset <= offset && r.size)
            run = &r;
    }
    if (!run)
        return false;
    out.start = base + run->offset + (offset - run->offset) / run->size * run->size;
    out.size = run->size;
    out.erased = flm.erasedValue;
    return true;
}

SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value,
                           const RollingSector &where, std::deque<std::vector<uint8_t>> &storage)
{
    const uint32_t sectorSize = where.size;
    const QString at = QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0'));
    if (address % 4 || sectorSize == 0 || sectorSize % 4 || address > UINT32_MAX - 4
        || address < where.start || uint64_t(address) + 4 > uint64_t(where.start) + sectorSize) {
        return SwdResult::failure(
            SwdBadJob, QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入").arg(at));
    }
    const uint64_t sectorEnd = uint64_t(where.start) + sectorSize;
    const auto inside = [&](const SwdImage &i) {
        return i.address <= address && uint64_t(i.address) + i.length >= uint64_t(address) + 4;
    };
    const auto holding = std::find_if(job.images.begin(), job.images.end(), inside);
    if (holding != job.images.end()) {
        std::vector<uint8_t> bytes(holding->data, holding->data + holding->length);
        putValue(bytes, size_t(address - holding->address), value);
        storage.push_back(std::move(bytes));
        holding->data = storage.back().data();
        return {};
    }
    const bool overlaps = std::any_of(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
        return i.length && i.address < uint64_t(address) + 4
            && uint64_t(i.address) + i.length > address;
    });
    if (overlaps) {
        return SwdResult::failure(
            SwdBadJob,
            QCoreApplication::translate("QuorvelCli", "滚码地址0x%1处已有文件数据").arg(at));
    }
    const bool sectorTouched =
        std::any_of(job.images.begin(), job.images.end(), [&](const SwdImage &i) {
            return i.length && i.address < sectorEnd
                && uint64_t(i.address) + i.length > where.start;
        });
    if (!sectorTouched && job.eraseMode == job::NoErase) {
        return SwdResult::failure(
            SwdBadJob,
            QCoreApplication::translate("QuorvelCli",
                                        "不擦除时不能把滚码写入没有文件数据的扇区（地址0x%1）")
                .arg(at));
    }
    storage.emplace_back(4);
    putValue(storage.back(), 0, value);
    job.images.push_back(
        {address, storage.back().data(), 4, QCoreApplication::translate("QuorvelCli", "滚码")});
    return {};
}

SwdResult checkRollingCode(const SwdJob &job, uint32_t address)
{
    RollingSector sector;
    if (!rollingSectorOf(job.target, address, sector))
        return SwdResult::failure(SwdBadJob,
                                  QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                                      .arg(address, 8, 16, QLatin1Char('0')));
    SwdJob copy = job;
    std::deque<std::vector<uint8_t>> storage;
    return patchRollingCode(copy, address, 0, sector, storage);
}
