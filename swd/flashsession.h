// One flash algorithm loaded into target RAM and driven through the debug port: routine calls
// with the calling convention, erase, pipelined page programming and read-back verify.
#pragma once

#include "debugport.h"
#include "flashalgorithm.h"

#include <functional>

class FlashSession
{
public:
    // Target RAM layout: a breakpoint to return to, the algorithm, its stack, the stubs of the page
    // pipeline and its three page buffers.
    static constexpr uint32_t kBreakpoint = 0x20000000;
    static constexpr uint32_t kPageStubs = 0x20000010; // see PagePipeline
    static constexpr uint32_t kLoadAddress = 0x20000080;
    static constexpr uint32_t kStackTop = 0x20003000;
    static constexpr uint32_t kBuffers = 0x20003000;
    static constexpr uint32_t kMaxPage = 0x400; // three buffers fit below the end of RAM
    enum Function { FunctionErase = 1, FunctionProgram = 2, FunctionVerify = 3 };

    using Progress = std::function<void(uint32_t done, uint32_t total)>;

    FlashSession(DebugPort &port, const FlashAlgorithm &algorithm);

    bool load(); // halts the core and copies the algorithm
    bool init(Function function);
    bool uninit(Function function);
    bool eraseChip();
    bool eraseSectors(uint32_t offset, uint32_t length);
    // offset from the device start; the tail of the last page is padded with the erased value.
    bool program(uint32_t offset, const std::vector<uint8_t> &bytes, const Progress &progress);
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
};
