// libFuzzer target: the probe answers every host request with fuzzer-chosen bytes and lengths
// (layout in tests/faults/replyscript.h); the host must keep its codes, time-outs and buffers.
#include "tests/faults/replyscript.h"

#include <QtGlobal>
#include <cstdio>

namespace {

uint8_t images[3 * faults::maxImage];

// The host's debug lines would cost more than the run itself.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    for (size_t k = 0; k < sizeof images; ++k)
        images[k] = uint8_t(k * 31 + 7);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const faults::ScriptOutcome outcome = faults::runScript(data, size, images);
    if (!outcome.broken.empty()) {
        std::fprintf(stderr, "host broke a rule: %s\n", outcome.broken.c_str());
        __builtin_trap();
    }
    return 0;
}
