// Sparse flash of the simulated target.
#include "targetflash.h"

#include <algorithm>

namespace vprobe {

namespace {
const std::array<uint8_t, 1024> erasedChunk = [] {
    std::array<uint8_t, 1024> a{};
    a.fill(0xFF);
    return a;
}();
} // namespace

TargetFlash::Page &TargetFlash::pageAt(uint32_t index)
{
    auto it = pages.find(index);
    if (it == pages.end()) {
        Page fresh;
        fresh.fill(0xFF);
        it = pages.emplace(index, fresh).first;
    }
    return it->second;
}

// Splits [address, address + length) into per-page spans; op(pageIndex, offsetInPage, n, done).
template<typename Op>
void TargetFlash::forEachSpan(uint32_t address, uint64_t length, Op op)
{
    uint64_t pos = address;
    const uint64_t end = std::min<uint64_t>(pos + length, uint64_t(1) << 32);
    uint64_t done = 0;
    while (pos < end) {
        const uint32_t offset = uint32_t(pos % pageSize);
        const uint32_t n = uint32_t(std::min<uint64_t>(pageSize - offset, end - pos));
        op(uint32_t(pos / pageSize), offset, n, done);
        pos += n;
        done += n;
    }
}

void TargetFlash::eraseSectors(uint32_t address, uint32_t length)
{
    if (length == 0)
        return;
    const uint64_t first = address / sectorSize * uint64_t(sectorSize);
    const uint64_t last = (uint64_t(address) + length + sectorSize - 1) / sectorSize * sectorSize;
    forEachSpan(uint32_t(first), last - first,
                [this](uint32_t index, uint32_t offset, uint32_t n, uint64_t) {
                    auto it = pages.find(index);
                    if (it == pages.end())
                        return;
                    std::fill_n(it->second.begin() + offset, n, 0xFF);
                    if (std::all_of(it->second.begin(), it->second.end(),
                                    [](uint8_t b) { return b == 0xFF; }))
                        pages.erase(it);
                });
}

void TargetFlash::program(uint32_t address, const uint8_t *data, size_t length)
{
    forEachSpan(address, length,
                [this, data](uint32_t index, uint32_t offset, uint32_t n, uint64_t done) {
                    Page &page = pageAt(index);
                    for (uint32_t i = 0; i < n; ++i)
                        page[offset + i] &= data[done + i];
                });
}

void TargetFlash::store(uint32_t address, const uint8_t *data, size_t length)
{
    forEachSpan(address, length,
                [this, data](uint32_t index, uint32_t offset, uint32_t n, uint64_t done) {
                    std::copy_n(data + done, n, pageAt(index).begin() + offset);
                });
}

void TargetFlash::visit(uint32_t address, uint32_t length,
                        const std::function<void(const uint8_t *, size_t)> &sink) const
{
    forEachSpan(address, length,
                [this, &sink](uint32_t index, uint32_t offset, uint32_t n, uint64_t) {
                    auto it = pages.find(index);
                    sink(it == pages.end() ? erasedChunk.data() : it->second.data() + offset, n);
                });
}

std::vector<uint8_t> TargetFlash::read(uint32_t address, uint32_t length) const
{
    std::vector<uint8_t> out;
    visit(address, length, [&out](const uint8_t *p, size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

} // namespace vprobe
