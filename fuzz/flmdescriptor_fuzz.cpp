// Flash algorithm images come from any pack: any bytes must end in a usable algorithm or a reason,
// never a crash or an unbounded allocation. What is accepted stays inside the bounds a host relies
// on, and the pack layer and the host read the same descriptor from it.
#include "pack/flmdescriptor.h"
#include "swd/flash/flashalgorithm.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    pack::FlmDescriptor d;
    QString error;
    const bool read = pack::readFlmDescriptor(
        QByteArray(reinterpret_cast<const char *>(data), int(size)), d, error);
    if (read
        && (d.deviceSize == 0 || uint64_t(d.deviceStart) + d.deviceSize > 0x100000000ull
            || d.pageSize < 4 || d.pageSize > pack::FlmDescriptor::kMaxPageSize
            || d.programTimeoutMs == 0 || d.eraseTimeoutMs > pack::FlmDescriptor::kMaxTimeoutMs
            || d.sectors.empty() || d.sectors.front().offset != 0))
        std::abort();
    if (!read && error.isEmpty())
        std::abort(); // a refusal always says why
    const auto algorithm = FlashAlgorithm::parse(bytes, QStringLiteral("f.FLM"), error);
    if (!algorithm)
        return 0;
    if (!read || algorithm->deviceSize() != d.deviceSize || algorithm->pageSize() != d.pageSize)
        std::abort();
    // Every sector the host would visit, counted without a bound of its own.
    const std::vector<uint32_t> all = algorithm->sectorsCovering(0, algorithm->deviceSize());
    if (all.empty() || all.size() > pack::FlmDescriptor::kMaxSectors)
        std::abort();
    return 0;
}
