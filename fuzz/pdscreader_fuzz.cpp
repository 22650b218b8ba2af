// Pack descriptions come from anywhere: any bytes must end in devices or a reason naming where,
// never a crash. Whatever is accepted holds only ranges inside 4 GiB and paths inside the pack.
#include "pack/pdscreader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), int(size));
    pack::PackContents contents;
    QString error;
    if (!pack::parseDescription(xml, QStringLiteral("f.pdsc"), contents, error)) {
        if (!error.startsWith(QLatin1String("f.pdsc")))
            std::abort(); // a refusal always names the file
        return 0;
    }
    for (const pack::PackContents::Refusal &r : contents.refused) {
        if (!r.message.startsWith(QLatin1String("f.pdsc")))
            std::abort();
    }
    for (const pack::TargetDescription &d : contents.devices) {
        if (d.device.isEmpty())
            std::abort();
        for (const pack::MemoryRegion &m : d.memories) {
            if (m.size == 0 || m.end() > 0x100000000ull || m.name.isEmpty())
                std::abort();
        }
        for (const pack::FlashAlgorithmRef &a : d.algorithms) {
            if (a.size == 0 || a.end() > 0x100000000ull || pack::safeMemberPath(a.path) != a.path)
                std::abort();
            if (a.ramStart.has_value() != a.ramSize.has_value())
                std::abort();
        }
    }
    return 0;
}
