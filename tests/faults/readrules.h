// The reads and time-outs the host may spend on each request, and the run's code when one fails;
// checked against the probe's trace by the fault sweeps and the hostile-reply fuzzer.
#pragma once

#include "virtualprobe/virtualprobe.h"

#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace faults {

// Reads the host makes after writing `command` when every one of them fails: chip detect and chip
// check read once more, the erase keeps reading while reads time out (21 reads, 101 in the long
// case). `digestSize` is the range size of a 0x91 / 0x8F request.
inline std::vector<int> silentReads(uint8_t command, bool longErase = false,
                                    uint32_t digestSize = 0)
{
    switch (command) {
    case 0x00:
        return {200};
    case 0x94:
        return {200, 200};
    case 0x95:
        return {2000, 200};
    case 0x9E:
        return {2400};
    case 0x96:
        return std::vector<int>(longErase ? 101 : 21, 400);
    case 0x97:
    case 0x99:
        return {200};
    case 0x98:
        return {1000};
    case 0x9A:
        return {16000};
    case 0x9F:
        return {3000};
    case 0x92:
        return {600};
    case 0x93:
        return {1000};
    case 0x91:
    case 0x8F:
        return {int((digestSize >> 12) + 1) * 200};
    default:
        return {};
    }
}

inline int totalMs(const std::vector<int> &reads)
{
    return std::accumulate(reads.begin(), reads.end(), 0);
}

// The run's result code when `command` fails (a transport failure or a refused reply).
inline int32_t failureCode(uint8_t command)
{
    switch (command) {
    case 0x94:
    case 0x95:
    case 0x9E:
        return 2;
    case 0x96:
        return 7;
    case 0x97:
    case 0x98:
    case 0x99:
    case 0x9F:
        return 8;
    case 0x9A:
        return 9;
    default:
        return -1;
    }
}

// One written report and the reads that followed it before the next write.
struct Exchange
{
    std::vector<uint8_t> request;
    int writeResult = 0;
    std::vector<int> readTimeouts;
};

inline std::vector<Exchange> exchanges(const std::vector<vprobe::TraceEntry> &trace)
{
    std::vector<Exchange> out;
    for (const vprobe::TraceEntry &e : trace) {
        if (e.kind == vprobe::TraceEntry::Kind::Write)
            out.push_back(Exchange{e.data, e.result, {}});
        else if (e.kind == vprobe::TraceEntry::Kind::Read && !out.empty())
            out.back().readTimeouts.push_back(e.timeoutMs);
    }
    return out;
}

inline uint32_t le32At(const std::vector<uint8_t> &bytes, size_t at)
{
    if (bytes.size() < at + 4)
        return 0;
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16
        | uint32_t(bytes[at + 3]) << 24;
}

// Empty when every request was followed by at most the reads its command allows, each with the
// command's own time-out, so that no reply (or no acceptable one) can make the host wait longer
// than its time-outs add up to; otherwise what went wrong first.
inline std::string checkReadDiscipline(const std::vector<Exchange> &list, bool longErase)
{
    for (size_t k = 0; k < list.size(); ++k) {
        const Exchange &x = list[k];
        if (x.request.size() < 2)
            return "report " + std::to_string(k + 1) + " is too short";
        const uint8_t command = x.request[1];
        const std::vector<int> allowed = silentReads(command, longErase, le32At(x.request, 7));
        char text[96];
        if (allowed.empty()) {
            std::snprintf(text, sizeof text, "report %zu: unknown command 0x%02X", k + 1, command);
            return text;
        }
        if (x.readTimeouts.size() > allowed.size()) {
            std::snprintf(text, sizeof text, "report %zu (0x%02X): %zu reads", k + 1, command,
                          x.readTimeouts.size());
            return text;
        }
        for (size_t r = 0; r < x.readTimeouts.size(); ++r) {
            if (x.readTimeouts[r] != allowed[r]) {
                std::snprintf(text, sizeof text, "report %zu (0x%02X): read %zu waits %d ms", k + 1,
                              command, r + 1, x.readTimeouts[r]);
                return text;
            }
        }
    }
    return {};
}

} // namespace faults
