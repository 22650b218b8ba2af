// Builds the sweep job from real files and proves it with a clean run.
#include "faultjob.h"

#include <QFile>
#include <cstdio>
#include <string>

namespace faults {

namespace {

Bytes pattern(uint32_t length, uint8_t seed)
{
    Bytes bytes(length);
    for (uint32_t k = 0; k < length; ++k)
        bytes[k] = uint8_t(seed + k * 13 + (k >> 7));
    return bytes;
}

std::string hexRecord(uint8_t type, uint16_t offset, const uint8_t *data, size_t count)
{
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", unsigned(count), offset, type);
    std::string line = field;
    unsigned sum = unsigned(count) + (offset >> 8) + (offset & 0xFF) + type;
    for (size_t k = 0; k < count; ++k) {
        std::snprintf(field, sizeof field, "%02X", data[k]);
        line += field;
        sum += data[k];
    }
    std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field;
}

// Data at 0x000..0x03F, 0x100..0x11F and 0x5F0..0x61F of a 0x620-byte image; the rest reads 0xFF.
struct Chunk
{
    uint16_t offset;
    uint16_t length;
};
constexpr Chunk hexChunks[] = {{0x000, 0x40}, {0x100, 0x20}, {0x5F0, 0x30}};
constexpr uint32_t hexImageLength = 0x620;

Bytes hexImage()
{
    Bytes image(hexImageLength, 0xFF);
    const Bytes data = pattern(hexImageLength, 0x5A);
    for (const Chunk &c : hexChunks)
        std::copy_n(data.begin() + c.offset, c.length, image.begin() + c.offset);
    return image;
}

std::string hexFile()
{
    const Bytes image = hexImage();
    const uint8_t upper[2] = {0x00, 0x00};
    std::string text = hexRecord(0x04, 0, upper, 2);
    for (const Chunk &c : hexChunks) {
        for (uint16_t at = c.offset; at < c.offset + c.length; at += 16)
            text += hexRecord(0x00, at, image.data() + at, 16);
    }
    return text + ":00000001FF\r\n";
}

struct JobFile
{
    const char *name;
    uint32_t address;
    Bytes contents; // the image the file must load as
};

std::vector<JobFile> jobFiles()
{
    return {{"first.bin", 0x0000, pattern(700, 0x11)},
            {"gaps.hex", 0x0400, hexImage()},
            {"last.bin", 0x0C00, pattern(200, 0xC3)}};
}

// A sweep opens the probe hundreds of times; its debug lines would bury a failure.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

void FaultJob::SetUp()
{
    previousHandler = qInstallMessageHandler(quiet);
    ASSERT_TRUE(dir.isValid());
    probe().reset();
    chip.model = 2;
    d.chip = &chip;
    d.handleBar = &bar;
    d.eraseMode = 0;
    d.programEnabled = 1;
    d.verifyEnabled = 1;
    d.rollingCodeAddress = rollingAddress;
    d.rollingCodeValue = rollingFirst;
    d.rollingCodeStep = rollingStep;

    for (const JobFile &f : jobFiles()) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        const bool hex = path.endsWith(QLatin1String(".hex"));
        const QByteArray bytes = hex
            ? QByteArray::fromStdString(hexFile())
            : QByteArray(reinterpret_cast<const char *>(f.contents.data()), int(f.contents.size()));
        ASSERT_TRUE(writeFile(path, bytes)) << f.name;
        const int i = d.fileCount;
        buffers.emplace_back(new uint8_t[Download::imageBufferSize]);
        d.imageData[i] = buffers.back().get();
        d.imageAddress[i] = f.address;
        d.filePath[i] = path;
        ASSERT_EQ(d.loadImageFile(path, i), 0) << f.name;
        ASSERT_EQ(Bytes(d.imageData[i], d.imageData[i] + d.imageLength[i]), f.contents) << f.name;
        d.fileCount = i + 1;
    }

    ASSERT_EQ(d.toggleConnection(), 1);
    ASSERT_EQ(run(), 0);
    reference = probe().commandsWritten();
    // 0x94 0x95 0x9E 0x96, 15 + 34 + 5 data blocks each framed by 0x97 / 0x99, 0x9A 0x9F.
    ASSERT_EQ(reference.size(), 66u);
    ASSERT_EQ(probe().readFlash(0, jobSpan), expectedFlash(rollingFirst));
}

void FaultJob::TearDown()
{
    if (d.connected == 1)
        d.toggleConnection();
    qInstallMessageHandler(previousHandler);
}

void FaultJob::restart()
{
    if (d.connected == 1) {
        ASSERT_EQ(d.toggleConnection(), 0);
    }
    probe().reset();
    ASSERT_EQ(d.toggleConnection(), 1);
}

int32_t FaultJob::run()
{
    probe().clearTrace();
    return d.runProgramming();
}

Bytes FaultJob::expectedFlash(uint32_t rolling) const
{
    Bytes flash(jobSpan, 0xFF);
    for (const JobFile &f : jobFiles())
        std::copy(f.contents.begin(), f.contents.end(), flash.begin() + f.address);
    for (int k = 0; k < 4; ++k)
        flash[rollingAddress + k] = uint8_t(rolling >> (8 * k));
    return flash;
}

std::vector<int> FaultJob::readsAfterReport(size_t n)
{
    std::vector<int> reads;
    size_t writes = 0;
    for (const vprobe::TraceEntry &e : probe().trace()) {
        if (e.kind == vprobe::TraceEntry::Kind::Write)
            ++writes;
        else if (e.kind == vprobe::TraceEntry::Kind::Read && writes == n)
            reads.push_back(e.timeoutMs);
    }
    return reads;
}

} // namespace faults
