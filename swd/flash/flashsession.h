// One flash algorithm loaded into target RAM and driven through the debug port: routine calls
// with the calling convention, erase, pipelined page programming and read-back verify.
#pragma once

#include "swd/debug/debugport.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"

#include <functional>

class FlashSession
{
public:
    enum Function { FunctionErase = 1, FunctionProgram = 2, FunctionVerify = 3 };

    using Progress = std::function<void(uint32_t done, uint32_t total)>;

    // The plan must have room for this algorithm and its pages.
    FlashSession(DebugPort &port, const FlashAlgorithm &algorithm, const RamPlan &plan);

    bool load(); // halts the core and copies the algorithm
    bool init(Function function);
    bool uninit(Function function);
    bool eraseChip();
    bool eraseSectors(uint32_t offset, uint32_t length);
    bool eraseSectors(const std::vector<uint32_t> &sectors); // offsets, each inside its sector
    // offset from the device start; the tail of the last page is padded with the erased value.
    // eraseFirst: sectors (offsets) to erase before their pages are programmed; one that starts
    // on a page of this span is erased by that page's stub while data streams, any other first.
    bool program(uint32_t offset, const std::vector<uint8_t> &bytes, const Progress &progress,
                 const std::vector<uint32_t> &eraseFirst = {});
    // Reads the flash at readAddress back and compares every byte; a difference is reported at
    // its job address.
    bool verify(uint32_t readAddress, uint32_t jobAddress, const std::vector<uint8_t> &bytes,
                const Progress &progress);

private:
    bool startCall(const std::string &routine, const std::vector<uint32_t> &args);
    bool finishCall(const QString &what, uint32_t timeoutMs);
    bool call(const std::string &routine, const std::vector<uint32_t> &args, uint32_t timeoutMs);

    DebugPort &m_port;
    const FlashAlgorithm &m_algo;
    const RamPlan &m_plan;
};
