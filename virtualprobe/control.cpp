// The QUORVEL_VPROBE_CONTROL file: a demo or test appends "k chip 1|0" lines to attach or remove
// probe k's chip while the program runs. Read incrementally, before each report the probe is given,
// so a change is seen at the host's next exchange without a thread of our own.
#include "virtualprobe.h"

#include "cmsisdap/cmsisdapprobe.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace vprobe {

namespace {

void applyLine(const std::string &line)
{
    std::istringstream in(line);
    long k = -1;
    std::string what;
    int attached = -1;
    std::string extra;
    if (!(in >> k >> what >> attached) || (in >> extra) || what != "chip" || k < 0
        || k >= VirtualProbe::count() || (attached != 0 && attached != 1)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            std::fprintf(stderr, "quorvel-virtualprobe: ignoring control line: %s\n", line.c_str());
        return;
    }
    VirtualProbe::probe(int(k)).setChipAttached(attached == 1, flashFileKept(int(k)));
    if (CmsisDapProbe *dap = CmsisDapProbe::active(int(k)))
        dap->device().setTargetAttached(attached == 1, flashFileKept(int(k)));
}

} // namespace

void applyControlFile()
{
    static const char *const file = [] {
        const char *v = std::getenv("QUORVEL_VPROBE_CONTROL");
        return v && *v ? v : nullptr;
    }();
    if (!file)
        return;
    static std::mutex mutex;
    static long offset = 0;
    static std::string partial;
    std::lock_guard<std::mutex> lock(mutex);
    struct stat st = {};
    if (::stat(file, &st) != 0 || st.st_size == offset)
        return;
    if (st.st_size < offset) { // truncated: start over
        offset = 0;
        partial.clear();
    }
    std::FILE *f = std::fopen(file, "rb");
    if (!f)
        return;
    if (std::fseek(f, offset, SEEK_SET) == 0) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            offset += long(n);
            partial.append(buffer, n);
            if (partial.size() > 1 << 16) // no line is this long: drop it rather than grow
                partial.clear();
        }
    }
    std::fclose(f);
    for (size_t end; (end = partial.find('\n')) != std::string::npos;) {
        applyLine(partial.substr(0, end));
        partial.erase(0, end + 1);
    }
}

} // namespace vprobe
