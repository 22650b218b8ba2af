// The vendor commands' test fixture: a virtual probe opened for programming, helpers for its
// replies and chip, and the steps that make it ready for images.
#pragma once

#include "probe/linkfixture.h"

#include <initializer_list>

namespace commandstest {

// The MD5 of nothing, which an empty image ends with.
inline const LinkTest::Bytes emptyMd5 = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                         0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};

inline LinkTest::Bytes reply(std::initializer_list<uint8_t> head)
{
    LinkTest::Bytes r(head);
    r.resize(64, 0);
    return r;
}

class Commands : public LinkTest
{
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        open();
        d.programEnabled = 1;
    }

    // Chip detect, chip check, settings and erase: the probe is then ready for images.
    void prepare()
    {
        ASSERT_EQ(d.detectChip(), 0);
        ASSERT_EQ(d.checkChip(), 0);
        ASSERT_EQ(d.sendSettings(), 0);
        ASSERT_EQ(d.eraseFlash(), 0);
        probe().clearTrace();
        progress.clear();
    }

    void setChip(void (*change)(vprobe::ChipState &))
    {
        vprobe::ChipState c = probe().chip();
        change(c);
        probe().setChip(c);
    }
};

} // namespace commandstest
