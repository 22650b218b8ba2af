// The QS64 test part end to end below the host: its pack is read and resolved, and the algorithm
// it names runs on an emulated Cortex-M0 wired to the QS64 flash-controller model, loaded where
// the pack's RAMstart says, with addresses at the device's own base (0x08000000).
#include "cmsisdapdevice.h"
#include "pack/flmdescriptor.h"
#include "pack/targetcatalog.h"
#include "qs64flash.h"
#include "swd/flash/elfimage.h"

#include <gtest/gtest.h>
#include <unicorn/unicorn.h>

#include <map>

using namespace pack;

namespace {

constexpr uint32_t kCodeOffset = 0x20; // after the return breakpoint
constexpr uint32_t kStackTop = 0x800; // from RAMstart; the buffer follows

// A minimal debugger host: RAM from the pack, the model's flash and controller as MMIO.
class Qs64Host
{
public:
    Qs64Host(Qs64Flash &model, uint32_t ramStart, uint32_t ramSize)
        : m_model(model)
        , m_ram(ramStart)
    {
        uc_open(UC_ARCH_ARM, uc_mode(UC_MODE_THUMB | UC_MODE_MCLASS), &m_uc);
        uc_ctl_set_cpu_model(m_uc, UC_CPU_ARM_CORTEX_M0);
        uc_mem_map(m_uc, ramStart, ramSize, UC_PROT_ALL);
        for (const auto &window : {std::make_pair(Qs64Flash::kFlashBase, Qs64Flash::kFlashSize),
                                   std::make_pair(Qs64Flash::kNvmBase, Qs64Flash::kNvmWindow)}) {
            Window *w = &m_windows[window.first]; // map nodes stay put
            *w = {this, window.first};
            uc_mmio_map(m_uc, window.first, window.second, &Qs64Host::read, w, &Qs64Host::write, w);
        }
        const uint8_t bkpt[] = {0x00, 0xBE};
        uc_mem_write(m_uc, ramStart, bkpt, sizeof bkpt);
    }
    ~Qs64Host() { uc_close(m_uc); }

    bool load(const QByteArray &flm)
    {
        std::string error;
        const auto elf = ElfImage::parse(std::vector<uint8_t>(flm.cbegin(), flm.cend()), error);
        const ElfSection *code = elf ? elf->section("PrgCode") : nullptr;
        const ElfSection *data = elf ? elf->section("PrgData") : nullptr;
        if (!code || !data)
            return false;
        std::vector<uint8_t> blob = elf->contents(*code);
        const std::vector<uint8_t> d = elf->contents(*data);
        blob.insert(blob.end(), d.begin(), d.end());
        uc_mem_write(m_uc, m_ram + kCodeOffset, blob.data(), blob.size());
        m_staticBase = m_ram + kCodeOffset + code->size;
        for (const ElfSymbol &s : elf->symbols()) {
            if (s.type == ElfImage::kSttFunc && s.bind == ElfImage::kStbGlobal)
                m_entries[s.name] = m_ram + kCodeOffset + (s.value & ~1u);
        }
        return m_entries.size() == 5;
    }

    void writeBuffer(const std::vector<uint8_t> &bytes)
    {
        uc_mem_write(m_uc, m_ram + kStackTop, bytes.data(), bytes.size());
    }
    uint32_t buffer() const { return m_ram + kStackTop; }

    // r0 of the routine, or -1 when it did not come back to the breakpoint.
    int64_t call(const std::string &entry, std::vector<uint32_t> args = {})
    {
        static const int regs[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
        args.resize(4);
        for (int i = 0; i < 4; ++i)
            uc_reg_write(m_uc, regs[i], &args[i]);
        const uint32_t sp = m_ram + kStackTop, lr = m_ram | 1;
        uc_reg_write(m_uc, UC_ARM_REG_SP, &sp);
        uc_reg_write(m_uc, UC_ARM_REG_LR, &lr);
        uc_reg_write(m_uc, UC_ARM_REG_R9, &m_staticBase);
        if (uc_emu_start(m_uc, m_entries.at(entry) | 1, m_ram, 0, 1000000) != UC_ERR_OK)
            return -1;
        uint32_t pc = 0, r0 = 0;
        uc_reg_read(m_uc, UC_ARM_REG_PC, &pc);
        uc_reg_read(m_uc, UC_ARM_REG_R0, &r0);
        return pc == m_ram ? int64_t(r0) : -1;
    }

private:
    struct Window
    {
        Qs64Host *host;
        uint32_t base;
    };
    static uint64_t read(uc_engine *, uint64_t offset, unsigned size, void *user)
    {
        auto *w = static_cast<Window *>(user);
        return w->host->m_model.read(w->base + uint32_t(offset), size);
    }
    static void write(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user)
    {
        auto *w = static_cast<Window *>(user);
        w->host->m_model.write(w->base + uint32_t(offset), size, uint32_t(value));
    }

    Qs64Flash &m_model;
    uint32_t m_ram;
    uc_engine *m_uc = nullptr;
    std::map<uint32_t, Window> m_windows;
    std::map<std::string, uint32_t> m_entries;
    uint32_t m_staticBase = 0;
};

TargetDescription qs64()
{
    TargetCatalog catalog;
    QString error;
    EXPECT_TRUE(catalog.addPack(QUORVEL_QS64_PACK, error)) << error.toStdString();
    const TargetCatalog::Resolution r = catalog.resolve("qs64");
    EXPECT_NE(r.device, nullptr) << r.message.toStdString();
    TargetDescription d = r.device ? *r.device : TargetDescription{};
    EXPECT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    return d;
}

} // namespace

TEST(Qs64Part, PackAndAlgorithmDescribeTheSameFlash)
{
    const TargetDescription d = qs64();
    ASSERT_EQ(d.algorithms.size(), 1);
    const FlashAlgorithmRef &a = d.algorithms.front();
    EXPECT_EQ(a.path, "Flash/QS64_Flash.FLM");
    EXPECT_EQ(d.erasedValue, std::optional<uint8_t>(0xFF));
    FlmDescriptor flm;
    QString error;
    ASSERT_TRUE(readFlmDescriptor(a.image, flm, error)) << error.toStdString();
    EXPECT_EQ(flm.name, "QS64_Flash");
    EXPECT_EQ(flm.deviceStart, a.start);
    EXPECT_EQ(flm.deviceSize, a.size);
    EXPECT_EQ(flm.pageSize, Qs64Flash::kPageSize);
    ASSERT_EQ(flm.sectors.size(), 2u);
    EXPECT_EQ(flm.sectors[0].size, Qs64Flash::kSmallSector);
    EXPECT_EQ(flm.sectors[0].offset, 0u);
    EXPECT_EQ(flm.sectors[1].size, Qs64Flash::kLargeSector);
    EXPECT_EQ(flm.sectors[1].offset, Qs64Flash::kSmallSectorsEnd);
}

TEST(Qs64Part, RoutinesEraseAndProgramOnTheEmulatedCore)
{
    const TargetDescription d = qs64();
    ASSERT_EQ(d.algorithms.size(), 1);
    const FlashAlgorithmRef &a = d.algorithms.front();
    ASSERT_TRUE(a.ramStart && a.ramSize);
    Qs64Flash model;
    model.fill(0x00);
    Qs64Host host(model, *a.ramStart, *a.ramSize);
    ASSERT_TRUE(host.load(a.image));

    ASSERT_EQ(host.call("Init", {a.start, 16000000, 1}), 0);
    EXPECT_TRUE(model.unlocked());
    EXPECT_EQ(model.session(), Qs64Flash::kSessionErase);
    // One small sector and one large one, each named by an address inside it.
    ASSERT_EQ(host.call("EraseSector", {0x08000805}), 0);
    ASSERT_EQ(host.call("EraseSector", {0x0800B000}), 0);
    EXPECT_EQ(model.erasedSectors(), (std::vector<uint32_t>{0x800, 0x8000}));
    const std::vector<uint8_t> &f = model.flash();
    auto filled = [&f](uint32_t from, uint32_t to, uint8_t v) {
        return std::all_of(f.begin() + from, f.begin() + to, [v](uint8_t b) { return b == v; });
    };
    EXPECT_TRUE(filled(0x0, 0x800, 0x00) && filled(0x800, 0x1000, 0xFF)
                && filled(0x1000, 0x8000, 0x00) && filled(0x8000, 0xC000, 0xFF)
                && filled(0xC000, 0x10000, 0x00));
    std::vector<uint8_t> page(Qs64Flash::kPageSize);
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = uint8_t(i * 7 + 3);
    host.writeBuffer(page);
    // Programming belongs to a program session: in an erase session the words are ignored.
    EXPECT_EQ(host.call("ProgramPage", {0x08008100, uint32_t(page.size()), host.buffer()}), 1);
    EXPECT_TRUE(filled(0x8000, 0xC000, 0xFF));
    ASSERT_EQ(host.call("UnInit", {1}), 0);
    EXPECT_EQ(model.session(), Qs64Flash::kSessionNone);

    ASSERT_EQ(host.call("Init", {a.start, 16000000, 2}), 0);
    ASSERT_EQ(host.call("ProgramPage", {0x08008100, uint32_t(page.size()), host.buffer()}), 0);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), f.begin() + 0x8100));
    EXPECT_TRUE(filled(0x8000, 0x8100, 0xFF) && filled(0x8200, 0xC000, 0xFF));
    // A page over unerased flash needs zeros turned back into ones: refused and reported.
    EXPECT_EQ(host.call("ProgramPage", {0x08000000, 8, host.buffer()}), 1);
    EXPECT_TRUE(filled(0x0, 0x800, 0x00));
    // Erasing belongs to an erase session: here it is ignored.
    ASSERT_EQ(host.call("EraseSector", {0x08000000}), 0);
    ASSERT_EQ(host.call("UnInit", {2}), 0);
    EXPECT_TRUE(filled(0x0, 0x800, 0x00));

    EXPECT_EQ(host.call("Init", {a.start, 16000000, 4}), 1);
    ASSERT_EQ(host.call("Init", {a.start, 16000000, 1}), 0);
    ASSERT_EQ(host.call("EraseChip"), 0);
    EXPECT_TRUE(filled(0x0, 0x10000, 0xFF));
    EXPECT_EQ(model.erasedSectors().size(), 2u + 8u + 3u);
    ASSERT_EQ(host.call("UnInit", {1}), 0);
    EXPECT_FALSE(model.unlocked());
    EXPECT_EQ(model.operations(),
              (std::vector<std::string>{"erase 0x08000800 in 1", "erase 0x08008000 in 1",
                                        "program 0x08008100 in 2", "program 0x08000000 in 2",
                                        "mass erase 0x08000000 in 1"}));
    // Each of the page's 64 words refused, then the erase.
    ASSERT_EQ(model.faults().size(), 65u);
    EXPECT_EQ(model.faults().front(),
              "flash written outside a program session at 0x08008100 (0x18110A03)");
    EXPECT_EQ(model.faults().back(), "erase outside an erase session at 0x40010008 (0x08000000)");
}

TEST(Qs64Part, VirtualProbeSelectsThePartBehindTheDebugPort)
{
    using vprobe::SimulatedPart;
    SimulatedPart part = SimulatedPart::Qb48;
    EXPECT_TRUE(vprobe::parseSimulatedPart("qs64", part));
    EXPECT_EQ(part, SimulatedPart::Qs64);
    EXPECT_FALSE(vprobe::parseSimulatedPart("QS64", part));
    EXPECT_EQ(part, SimulatedPart::Qs64);

    vprobe::CmsisDapDevice device;
    device.selectPart(SimulatedPart::Qs64);
    ASSERT_NE(device.qs64(), nullptr);
    vprobe::CortexCore &core = device.core();
    uint32_t value = 0;
    EXPECT_FALSE(core.read(0x00000000, value)); // no QB48x flash at 0 any more
    ASSERT_TRUE(core.read(0x0800FFFC, value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    for (const auto &w : {std::make_pair(Qs64Flash::kKey, Qs64Flash::kKeyFirst),
                          std::make_pair(Qs64Flash::kKey, Qs64Flash::kKeySecond),
                          std::make_pair(Qs64Flash::kSession, Qs64Flash::kSessionProgram),
                          std::make_pair(Qs64Flash::kCtrl, Qs64Flash::kCtrlProgram),
                          std::make_pair(uint32_t(0x08000010), uint32_t(0x12345678))})
        ASSERT_TRUE(core.write(w.first, w.second));
    EXPECT_EQ(std::vector<uint8_t>(device.qs64()->flash().begin() + 0x10,
                                   device.qs64()->flash().begin() + 0x14),
              (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_TRUE(device.qs64()->faults().empty());

    device.selectPart(SimulatedPart::Qb48);
    EXPECT_EQ(device.qs64(), nullptr);
    EXPECT_TRUE(device.core().read(0x00000000, value));
    EXPECT_FALSE(device.core().read(0x08000000, value));
}
