// The SWD host's debug port over the virtual probe's HID link, opened fresh for each test.
#pragma once

#include "cmsisdap/cmsisdapprobe.h"
#include "swd/debug/debugport.h"
#include "virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <memory>

class HidDebugPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        vprobe::CmsisDapProbe::instance().reset();
        vprobe::CmsisDapProbe::instance().setEnabled(true);
        dev = hid_open(0x0D28, 0x0204, nullptr);
        ASSERT_NE(dev, nullptr);
        hid = std::make_unique<HidTransport>(dev);
        link = std::make_unique<DapPipe>(*hid);
        port = std::make_unique<DebugPort>(*link);
    }
    void TearDown() override
    {
        hid_close(dev);
        vprobe::CmsisDapProbe::instance().setEnabled(false);
    }
    hid_device *dev = nullptr;
    std::unique_ptr<HidTransport> hid;
    std::unique_ptr<DapPipe> link;
    std::unique_ptr<DebugPort> port;
};
