// Reads one Intel HEX file into a 4 MiB image that begins with the file's first data byte; the
// bytes between records read 0xFF. One reader per file.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class QIODevice;

class HexFileReader
{
public:
    enum Phase { Unbased, Based, Placing };

    static constexpr int32_t imageSize = 0x400000;
    static constexpr int maxRecordBytes = 255;
    static constexpr int defaultBlockSize = 256 * 1024;

    HexFileReader();
    ~HexFileReader();
    HexFileReader(const HexFileReader &) = delete;
    HexFileReader &operator=(const HexFileReader &) = delete;

    // 0: the image holds `length` bytes; -1: the file cannot be opened, or a line before the end
    // record is invalid, of type 06..FF, or would place bytes outside [start, start + 4 MiB).
    int readFile(const QString &path);
    // The same on an open device (the file, or bytes in memory). ASCII, UTF-8 with or without a
    // byte-order mark, and UTF-16 LE or BE with one read alike.
    int readDevice(QIODevice &device);
    // Size of each read; small values make lines straddle reads (tests, fuzzing).
    void setBlockSize(int bytes);

    const uint8_t *image() const { return imageBuffer.get(); }

    // The line being parsed, one byte per Latin-1 character, without its line end.
    const char *line = nullptr;
    int lineLength = 0;
    uint8_t recordData[maxRecordBytes] = {};
    int32_t length = 0; // write position; the image length after a successful read
    uint32_t base = 0; // set by the last type 02 or 04 record
    uint32_t start = 0; // absolute address of image byte 0
    Phase phase = Unbased;

private:
    enum class Step { Next, Done, Fail };
    struct Record
    {
        int count;
        uint32_t offset;
        int type;
    };

    // `fill(to, max)` delivers up to max more Latin-1 characters; 0 at the end, -1 on failure.
    template<typename Fill>
    int readLines(Fill &fill, char *buffer, int block);
    Step handleLine(const char *text, int size);
    bool parseLine(Record &record);
    Step handleRecord(const Record &record);
    bool placeData(const Record &record);

    std::unique_ptr<uint8_t[]> imageBuffer; // not cleared: bytes below `filled` are defined
    int32_t filled = 0; // every byte below this was placed or filled with 0xFF
    int blockSize = defaultBlockSize;
    bool firstLine = true;
};
