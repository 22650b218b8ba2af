// The virtual probes' flash kept in files between processes (QUORVEL_VPROBE_FLASH_FILE), so that
// one process can program what another verifies and tests can read what a run wrote.
#include "virtualprobe.h"

#include "cmsisdap/cmsisdapprobe.h"
#include "job/memorygeometry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace vprobe {

namespace {

void complain(const std::string &file)
{
    std::fprintf(stderr, "quorvel-virtualprobe: ignoring QUORVEL_VPROBE_FLASH_FILE=%s\n",
                 file.c_str());
}

// The simulated chip's main flash window and LDROM.
struct FlashWindow
{
    uint32_t address;
    uint32_t length;
};
// The APROM padded to 128 KiB, then the LDROM.
constexpr FlashWindow persistedWindows[] = {
    {quorvel::qb48Geometry.aprom.base, 0x20000},
    {quorvel::qb48Geometry.ldrom.base, quorvel::qb48Geometry.ldrom.size}};

// With the CMSIS-DAP personality on, probe k's flash is its target's: APROM, blank to the end
// of the window, and LDROM.
std::vector<uint8_t> readWindow(int k, const FlashWindow &w)
{
    if (!CmsisDapProbe::active(k))
        return VirtualProbe::probe(k).readFlash(w.address, w.length);
    const std::vector<uint8_t> &bank = CmsisDapProbe::instance(k).device().target().flash(
        w.address ? TargetModel::Bank::Ldrom : TargetModel::Bank::Aprom);
    std::vector<uint8_t> bytes(w.length, 0xFF);
    std::copy_n(bank.begin(), std::min<size_t>(bank.size(), w.length), bytes.begin());
    return bytes;
}

void writeWindow(int k, const FlashWindow &w, const std::vector<uint8_t> &bytes)
{
    if (!CmsisDapProbe::active(k))
        VirtualProbe::probe(k).writeFlash(w.address, bytes);
    else
        CmsisDapProbe::instance(k).device().target().setFlash(
            w.address ? TargetModel::Bank::Ldrom : TargetModel::Bank::Aprom, bytes);
}

// A part of a public family keeps its own main flash in the file, whole.
BoardPart *boardOf(int k)
{
    return CmsisDapProbe::active(k) ? CmsisDapProbe::instance(k).device().board() : nullptr;
}

std::vector<std::string> &flashFiles()
{
    static std::vector<std::string> files;
    return files;
}

void saveFlashFiles()
{
    const std::vector<std::string> &files = flashFiles();
    for (size_t k = 0; k < files.size() && int(k) < VirtualProbe::count(); ++k) {
        if (files[k].empty())
            continue;
        std::ofstream out(files[k], std::ios::binary | std::ios::trunc);
        if (BoardPart *board = boardOf(int(k))) {
            out.write(reinterpret_cast<const char *>(board->flash().data()),
                      std::streamsize(board->flash().size()));
            continue;
        }
        for (const FlashWindow &w : persistedWindows) {
            const std::vector<uint8_t> bytes = readWindow(int(k), w);
            out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        }
    }
}

void loadFlashFile(int k, const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return; // a new chip: blank
    if (BoardPart *board = boardOf(k)) {
        std::vector<uint8_t> bytes(board->flash().size());
        if (!in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size())))
            complain(file);
        else
            board->flash() = bytes;
        return;
    }
    for (const FlashWindow &w : persistedWindows) {
        std::vector<uint8_t> bytes(w.length);
        if (!in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()))) {
            complain(file);
            return;
        }
        writeWindow(k, w, bytes);
    }
}

} // namespace

void keepFlashFiles(const std::vector<std::string> &files)
{
    flashFiles() = files;
    bool any = false;
    for (int k = 0; k < VirtualProbe::count() && size_t(k) < files.size(); ++k) {
        if (!files[size_t(k)].empty()) {
            loadFlashFile(k, files[size_t(k)]);
            any = true;
        }
    }
    if (any)
        std::atexit(saveFlashFiles);
}

bool flashFileKept(int k)
{
    const std::vector<std::string> &files = flashFiles();
    return k >= 0 && size_t(k) < files.size() && !files[size_t(k)].empty();
}

} // namespace vprobe
