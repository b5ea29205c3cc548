// SPDX-License-Identifier: MIT
// The real-port backends without the hardware: finding the ppdev device,
// mapping register accesses onto driver calls, and the message when no port
// can be had.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "HardwarePort.h"
#include "TempFolder.h"

#ifdef __linux__
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#endif

namespace kavoda {
namespace {

namespace fs = std::filesystem;

TEST(HardwarePort, FindsTheParportWhoseBaseMatches)
{
    const fs::path root = test::testFolder();
    const auto addPort = [&root](int n, const char* text) {
        const fs::path dir = root / "sys/dev/parport" / ("parport" + std::to_string(n));
        fs::create_directories(dir);
        std::ofstream(dir / "base-addr") << text;
    };
    addPort(0, "632\t1656\n");  // 0x278
    addPort(1, "888\t1912\n");  // 0x378
    EXPECT_EQ(findParportDevice(0x378, root.string(), "/dev"), "/dev/parport1");
    EXPECT_EQ(findParportDevice(0x278, root.string(), "/dev"), "/dev/parport0");
    EXPECT_EQ(findParportDevice(0x3BC, root.string(), "/dev"), std::nullopt);
    EXPECT_EQ(findParportDevice(0x378, (root / "none").string(), "/dev"), std::nullopt);
}

TEST(HardwarePort, NoPortMessageNamesTheAddressAndTheWayOut)
{
    EXPECT_EQ(portOpenErrorText(0x3BC, "no /dev/parport device has this address",
                                "direct port access was refused"),
              "Cannot open the parallel port at 03BC: no /dev/parport device has this address "
              "and direct port access was refused. Run as root, or load the ppdev module and "
              "join the group lp.");
    EXPECT_EQ(portAddressText(0x378), "0378");
}

#ifdef __linux__

struct DriverCall {
    unsigned long request;
    int value;  // -1: no argument
};

TEST(HardwarePort, PpdevMapsRegistersOntoDriverCalls)
{
    std::vector<DriverCall> calls;
    int closed = -1;
    bool failing = false;
    PpdevCalls fake{[&](int fd, unsigned long request, unsigned char* value) {
                        EXPECT_EQ(fd, 7);
                        calls.push_back({request, value ? *value : -1});
                        if (value && request == PPRSTATUS)
                            *value = 0x6F;
                        return failing ? -1 : 0;
                    },
                    [&](int fd) {
                        closed = fd;
                        return 0;
                    }};
    {
        auto port = makePpdevPort(7, 0x278, fake);
        port->write(0x278, 0xFF);
        port->write(0x27A, 0xFF);
        port->write(0x27A, 0x01);
        port->write(0x279, 0x55);  // read-only register: dropped
        EXPECT_EQ(port->read(0x279), 0x6F);
        port->read(0x278);
        port->read(0x27A);
        EXPECT_THROW(port->write(0x27B, 0), PortError);
        EXPECT_THROW(port->read(0x277), PortError);
        failing = true;
        EXPECT_THROW(port->write(0x278, 0), PortError);
        failing = false;
        EXPECT_EQ(closed, -1);
    }
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].request, PPWDATA);
    EXPECT_EQ(calls[0].value, 0xFF);
    EXPECT_EQ(calls[1].request, PPWCONTROL);
    EXPECT_EQ(calls[1].value, 0x0F) << "bit 5 would leave the data lines turned into inputs";
    EXPECT_EQ(calls[2].value, 0x01);
    EXPECT_EQ(calls[3].request, PPRSTATUS);
    EXPECT_EQ(calls[4].request, PPRDATA);
    EXPECT_EQ(calls[5].request, PPRCONTROL);
    EXPECT_EQ(calls[7].request, PPRELEASE) << "released on destruction";
    EXPECT_EQ(closed, 7);
}

#endif

}  // namespace
}  // namespace kavoda
