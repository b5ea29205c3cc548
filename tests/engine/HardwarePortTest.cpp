// SPDX-License-Identifier: MIT
// The real-port backends without the hardware: finding the ppdev device,
// choosing between ppdev and direct I/O with every system call faked, mapping
// register accesses onto driver calls, and the bounded wait for a busy port.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>

#include "DeviceCatalogue.h"
#include "HardwarePort.h"
#include "SimulatedChip.h"
#include "ee24c.h"
#include "TempFolder.h"

#ifdef __linux__
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kavoda {
namespace {

namespace fs = std::filesystem;

TEST(HardwarePort, FindsTheParportWhoseBaseMatchesAndWhoHoldsIt)
{
    const test::TempFolder root;
    const auto addPort = [&root](int n, const char* base, const char* active) {
        const fs::path dir = root.path() / "sys/dev/parport" / ("parport" + std::to_string(n));
        fs::create_directories(dir / "devices");
        std::ofstream(dir / "base-addr") << base;
        if (active)
            std::ofstream(dir / "devices/active") << active;
    };
    addPort(0, "632\t1656\n", "none\n");  // 0x278, free
    addPort(1, "888\t1912\n", "lp0\n");   // 0x378, printing
    addPort(2, "956\t1980\n", nullptr);   // 0x3BC, no holder file
    const std::string proc = root.path().string();
    EXPECT_EQ(findParport(0x378, proc + "/none", "/dev"), std::nullopt);

    const auto free = findParport(0x278, proc, "/dev");
    ASSERT_TRUE(free);
    EXPECT_EQ(free->device, "/dev/parport0");
    EXPECT_EQ(free->holder, "");
    const auto busy = findParport(0x378, proc, "/dev");
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->device, "/dev/parport1");
    EXPECT_EQ(busy->holder, "lp0");
    EXPECT_EQ(findParport(0x3BC, proc, "/dev")->holder, "") << "unknown counts as free";
    EXPECT_EQ(findParport(0x100, proc, "/dev"), std::nullopt);
}

TEST(HardwarePort, MessagesNameTheAddressAndTheWayOut)
{
    EXPECT_EQ(portBusyText(0x378), "The parallel port at 0378 is in use by another program.");
    EXPECT_EQ(portDeniedText(0x278, "/dev/parport0", false),
              "You may not use the parallel port at 0278 (/dev/parport0): permission denied. "
              "Join the group lp (sudo adduser \"$(id -un)\" lp) and log in again.");
    EXPECT_EQ(noPortText(0x3BC, EPERM, false),
              "Cannot open the parallel port at 03BC: the kernel knows no parallel port there, "
              "and direct port access was refused (Operation not permitted). Load the "
              "parport_pc and ppdev modules and join the group lp, or run as root.");
    EXPECT_NE(noPortText(0x3BC, ENOSYS).find("not available on this system"), std::string::npos);

    // Root already is root, and has no sudo on a root-only system.
    EXPECT_EQ(portDeniedText(0x278, "/dev/parport0", true),
              "You may not use the parallel port at 0278 (/dev/parport0): permission denied, "
              "even to root: a container must be given /dev/parport0, or a security policy "
              "(AppArmor, SELinux) refuses it.");
    EXPECT_EQ(noPortText(0x3BC, EPERM, true),
              "Cannot open the parallel port at 03BC: the kernel knows no parallel port there, "
              "and direct port access was refused (Operation not permitted), as it is to root in "
              "a container or under the kernel's lockdown. Load the parport_pc and ppdev modules "
              "(modprobe parport_pc ppdev).");
    for (const int error : {EPERM, ENOSYS}) {
        for (const std::string& text : {noPortText(0x378, error, true),
                                        portDeniedText(0x378, "/dev/parport1", true)}) {
            EXPECT_EQ(text.find("run as root"), std::string::npos) << text;
            EXPECT_EQ(text.find("sudo"), std::string::npos) << text;
        }
    }
}

#ifdef __linux__

// A system whose every answer the test sets, recording what was asked of it.
struct FakeSystem {
    std::optional<ParportDevice> parport;
    int openErrno = 0;                 // 0: open succeeds
    std::vector<int> claimErrnos;      // one per claim; 0 succeeds
    int exclErrno = 0;
    int grantErrno = 0;

    std::vector<std::string> log;
    std::vector<std::pair<unsigned long, int>> ioctls;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> outs;
    std::chrono::milliseconds claimTimeout{0};
    int nextFd = 5;

    PortOpenCalls calls()
    {
        PortOpenCalls c;
        c.findParport = [this](std::uint16_t) { return parport; };
        c.open = [this](const std::string& device) {
            log.push_back("open " + device);
            if (openErrno) {
                errno = openErrno;
                return -1;
            }
            return nextFd++;
        };
        c.claim = [this](int fd, std::chrono::milliseconds timeout) {
            log.push_back("claim " + std::to_string(fd));
            claimTimeout = timeout;
            const int e = claimErrnos.empty() ? 0 : claimErrnos.front();
            if (!claimErrnos.empty())
                claimErrnos.erase(claimErrnos.begin());
            errno = e;
            return e ? -1 : 0;
        };
        c.ppdev.ioctl = [this](int fd, unsigned long request, unsigned char* value) {
            if (request == PPEXCL) {
                log.push_back("excl " + std::to_string(fd));
                errno = exclErrno;
                return exclErrno ? -1 : 0;
            }
            ioctls.emplace_back(request, value ? *value : -1);
            return 0;
        };
        c.ppdev.close = [this](int fd) {
            log.push_back("close " + std::to_string(fd));
            return 0;
        };
        c.grantDirectIo = [this](std::uint16_t base) {
            log.push_back("ioperm " + portAddressText(base));
            errno = grantErrno;
            return grantErrno ? -1 : 0;
        };
        c.directIo.in = [](std::uint16_t port) { return static_cast<std::uint8_t>(port & 0xFF); };
        c.directIo.out = [this](std::uint16_t port, std::uint8_t value) {
            outs.emplace_back(port, value);
        };
        c.directIo.revoke = [this](std::uint16_t base) {
            log.push_back("revoke " + portAddressText(base));
        };
        return c;
    }
};

using Log = std::vector<std::string>;

std::string openError(FakeSystem& system, std::uint16_t base = 0x378)
{
    try {
        openHardwarePort(base, system.calls());
    } catch (const PortError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the port opened";
    return {};
}

TEST(HardwarePort, PpdevPresentAndFreeIsClaimedExclusivelyWithinTheTimeLimit)
{
    FakeSystem system;
    system.parport = ParportDevice{"/dev/parport0", ""};
    {
        auto port = openHardwarePort(0x378, system.calls());
        port->write(0x378, 0x01);
        EXPECT_EQ(system.log, (Log{"open /dev/parport0", "excl 5", "claim 5"}));
        ASSERT_EQ(system.ioctls.size(), 1u) << "the access went to the driver";
        EXPECT_EQ(system.ioctls[0].first, PPWDATA);
        EXPECT_LE(system.claimTimeout.count(), 2000);
        EXPECT_GT(system.claimTimeout.count(), 0);
    }
    EXPECT_EQ(system.ioctls.back().first, PPRELEASE);
    EXPECT_EQ(system.log.back(), "close 5");
}

TEST(HardwarePort, PpdevSharedWithAnIdleDriverIsClaimedOnAFreshDescriptor)
{
    FakeSystem system;
    system.parport = ParportDevice{"/dev/parport0", ""};
    system.claimErrnos = {ENXIO, 0};  // the printer driver is registered: no exclusive claim
    auto port = openHardwarePort(0x378, system.calls());
    EXPECT_EQ(system.log,
              (Log{"open /dev/parport0", "excl 5", "claim 5", "close 5", "open /dev/parport0",
                   "claim 6"}));
}

// Each failure of a port that ppdev has ends there, with its own message and
// every descriptor closed: never direct I/O on a port that a driver owns.
TEST(HardwarePort, PpdevPresentButUnusableNeverFallsBackToDirectIo)
{
    const struct {
        const char* name;
        std::string holder;
        int openErrno;
        std::vector<int> claimErrnos;
        std::string message;
        Log log;
    } cases[] = {
        {"held right now", "lp0", 0, {}, portBusyText(0x378), {}},
        {"busy past the time limit", "", 0, {EINTR}, portBusyText(0x378),
         {"open /dev/parport1", "excl 5", "claim 5", "close 5"}},
        {"busy after sharing", "", 0, {ENXIO, EINTR}, portBusyText(0x378),
         {"open /dev/parport1", "excl 5", "claim 5", "close 5", "open /dev/parport1", "claim 6",
          "close 6"}},
        {"denied", "", EACCES, {}, portDeniedText(0x378, "/dev/parport1"),
         {"open /dev/parport1"}},
        {"no device node", "", ENOENT, {},
         std::string("The kernel has a parallel port at 0378, but /dev/parport1 cannot be "
                     "used (No such file or directory). Load the ppdev module (") +
             (runningAsRoot() ? "" : "sudo ") + "modprobe ppdev).",
         {"open /dev/parport1"}},
        {"claim fails otherwise", "", 0, {EIO},
         "Cannot claim /dev/parport1, the parallel port at 0378: Input/output error.",
         {"open /dev/parport1", "excl 5", "claim 5", "close 5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        system.parport = ParportDevice{"/dev/parport1", c.holder};
        system.openErrno = c.openErrno;
        system.claimErrnos = c.claimErrnos;
        EXPECT_EQ(openError(system), c.message);
        EXPECT_EQ(system.log, c.log);
    }
}

TEST(HardwarePort, DirectIoOnlyWithoutPpdevAndWithOnlyTheControlLines)
{
    FakeSystem system;
    {
        auto port = openHardwarePort(0x278, system.calls());
        EXPECT_EQ(system.log, (Log{"ioperm 0278"}));
        port->write(0x278, 0xFF);
        port->write(0x27A, 0xFF);
        port->write(0x27A, 0x01);
        EXPECT_EQ(port->read(0x279), 0x79);
        EXPECT_THROW(port->write(0x27B, 0), PortError) << "outside the granted registers";
        EXPECT_THROW(port->read(0x277), PortError);
    }
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> expected{
        {0x278, 0xFF}, {0x27A, 0x0F}, {0x27A, 0x01}};
    EXPECT_EQ(system.outs, expected) << "bit 5 would turn the clock line into an input";
    EXPECT_EQ(system.log.back(), "revoke 0278");

    FakeSystem refused;
    refused.grantErrno = EPERM;
    EXPECT_EQ(openError(refused, 0x3BC), noPortText(0x3BC, EPERM));
}

TEST(HardwarePort, PpdevMapsRegistersOntoDriverCalls)
{
    std::vector<std::pair<unsigned long, int>> calls;
    int closed = -1;
    bool failing = false;
    PpdevCalls fake{[&](int fd, unsigned long request, unsigned char* value) {
                        EXPECT_EQ(fd, 7);
                        calls.emplace_back(request, value ? *value : -1);
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
    const std::vector<std::pair<unsigned long, int>> expected{
        {PPWDATA, 0xFF},  {PPWCONTROL, 0x0F}, {PPWCONTROL, 0x01}, {PPRSTATUS, 0xFF},
        {PPRDATA, 0xFF},  {PPRCONTROL, 0xFF}, {PPWDATA, 0x00},    {PPRELEASE, -1}};
    EXPECT_EQ(calls, expected) << "bit 5 would leave the data lines turned into inputs";
    EXPECT_EQ(closed, 7) << "released and closed on destruction";
}

// Both real backends, their driver calls wired to the simulated adapter: the
// bus works through them, masked control register and all.
TEST(HardwarePort, ChipAnswersThroughBothRealBackends)
{
    for (const bool ppdev : {true, false}) {
        SCOPED_TRACE(ppdev ? "ppdev" : "direct I/O");
        resetDeviceState();
        BusDelay = 0;
        SimulatedAdapter sim(0x3BC, {2, "", std::nullopt, ChipFault::None});
        FakeSystem system;
        if (ppdev)
            system.parport = ParportDevice{"/dev/parport2", ""};
        PortOpenCalls calls = system.calls();
        calls.ppdev.ioctl = [&sim](int, unsigned long request, unsigned char* value) {
            if (request == PPWDATA)
                sim.write(0x3BC, *value);
            else if (request == PPWCONTROL)
                sim.write(0x3BE, *value);
            else if (request == PPRSTATUS)
                *value = sim.read(0x3BD);
            return 0;
        };
        calls.directIo.in = [&sim](std::uint16_t port) { return sim.read(port); };
        calls.directIo.out = [&sim](std::uint16_t port, std::uint8_t v) { sim.write(port, v); };
        auto port = openHardwarePort(0x3BC, calls);
        ScopedPortBackend scope(*port);
        FastTiming = 0;
        WriteByte24C(0x3BC, 1, 0x7F, 0xC3);
        FastTiming = 1;
        EXPECT_EQ(ReadByte24C(0x3BC, 1, 0x7F), 0xC3);
        EXPECT_EQ(sim.chip().cell(0x17F), 0xC3);
    }
    resetDeviceState();
}

// The real timer on a call that would block for ever: reading an empty pipe.
TEST(HardwarePort, BlockingCallIsInterruptedAndTheSignalPutBack)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int signo = SIGRTMIN;
    struct sigaction before {};
    sigaction(signo, nullptr, &before);

    char byte = 0;
    const int result = callWithTimeout([&] { return static_cast<int>(read(fds[0], &byte, 1)); },
                                       std::chrono::milliseconds(20));
    const int error = errno;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EINTR);

    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(callWithTimeout([&] { return static_cast<int>(read(fds[0], &byte, 1)); },
                              std::chrono::milliseconds(20)),
              1)
        << "a call that need not wait is not disturbed";
    struct sigaction after {};
    sigaction(signo, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, signo));
    close(fds[0]);
    close(fds[1]);
}

// A claim timeout of 0 is one try: a call that would wait is interrupted,
// one that need not wait goes through.
TEST(HardwarePort, AZeroTimeoutIsOneTryThatDoesNotWait)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // A watchdog only: were the call to wait for ever, the test ends here.
    alarm(60);
    char byte = 0;
    for (const auto timeout : {std::chrono::milliseconds(0), std::chrono::milliseconds(-5)}) {
        const int result =
            callWithTimeout([&] { return static_cast<int>(read(fds[0], &byte, 1)); }, timeout);
        const int error = errno;
        EXPECT_EQ(result, -1);
        EXPECT_EQ(error, EINTR);
    }
    alarm(0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(callWithTimeout([&] { return static_cast<int>(read(fds[0], &byte, 1)); },
                              std::chrono::milliseconds(0)),
              1);
    EXPECT_EQ(byte, 'x');
    close(fds[0]);
    close(fds[1]);
}

#endif

}  // namespace
}  // namespace kavoda
