// The rules of the program file list on the job record: a file taken at a flash address, the
// ascending order without overlap, at most ten files, removal that keeps the order, and the
// re-reading of files changed on disk. The window makes and deletes the table cells; the record
// holds their pointers per slot, and these rules move them with their files.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class Download;

namespace job {

// Slot `n` takes the file at `path` for `address`: its fields and a buffer if it has none; the
// image is not loaded yet.
void prepareSlot(Download &d, int n, const QString &path, uint32_t address);

// Slot `n` takes the file at `path` for `address`: its fields, a buffer if it has none, and the
// image. Returns what loading the image returned (0 loaded; see Download::loadImageFile).
int placeFile(Download &d, int n, const QString &path, uint32_t address);

// Files run in ascending address order; only slot `n` and the one before it are compared.
bool overlapsPrevious(const Download &d, int n);

// Frees slot `slot`'s buffer and moves every later slot (its cell pointers included) up one, so
// the list stays gap-free and in order. The caller deletes the slot's cells first.
void removeSlot(Download &d, int slot);
// Frees every image buffer of `d` (copies of a Download share them, so it never frees them
// itself): for the one owner of a record that does not live as long as the process.
void releaseImages(Download &d);
// The same when it leaves the scope of the record's one owner.
class ImagesReleased
{
public:
    explicit ImagesReleased(Download &d)
        : m_d(d)
    { }
    ~ImagesReleased() { releaseImages(m_d); }
    ImagesReleased(const ImagesReleased &) = delete;
    ImagesReleased &operator=(const ImagesReleased &) = delete;

private:
    Download &m_d;
};

enum class AddOutcome {
    Added,
    TooMany, // ten files are listed already; nothing changed
    Unreadable, // the file did not load; it was taken and dropped again
    Overlaps, // it lands inside the previous file's range; it was taken and dropped again
};

// Adds a file behind the last one with the rules above (no cells are made). For the CLI and job
// files; the window goes through its own dialogs with the same calls.
AddOutcome addFile(Download &d, const QString &path, uint32_t address);

struct ReloadResult
{
    int slot = -1; // the slot that must be dropped, or -1: every file is usable
    bool parseError = false; // it failed to re-read (false: it is empty or gone)
};

// Re-reads every listed file whose modification time changed. `sizeChanged(i)` is called after
// slot i's size on disk was updated and before it is re-read. Stops at the first file that is
// empty, gone or unreadable and names it; dropping it is the caller's (it owns the cells).
ReloadResult reloadChangedFiles(Download &d, const std::function<void(int)> &sizeChanged);

// "0x1F00": how the file list shows addresses and sizes.
QString hexText(uint32_t value);

} // namespace job
