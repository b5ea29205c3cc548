// SPDX-License-Identifier: MIT
// Port backend over the Linux parallel-port driver (ppdev): works without root
// for members of group lp. Also finding the device and claiming it without
// ever sleeping long on a busy port.
#include <fstream>

#include "HardwarePort.h"

#include <cerrno>
#include <cstring>

#ifdef __linux__
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kavoda {

namespace {

std::string parportName(int n)
{
    return "parport" + std::to_string(n);
}

std::optional<int> findParportNumber(std::uint16_t portBase, const std::string& procRoot)
{
    // parport numbers are small; the driver registers them densely from 0.
    for (int n = 0; n < 16; ++n) {
        // The file holds the base and the extended base, in decimal: "888\t1912".
        std::ifstream in(procRoot + "/sys/dev/parport/" + parportName(n) + "/base-addr");
        unsigned long base = 0;
        if (in >> base && base == portBase)
            return n;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ParportDevice> findParport(std::uint16_t portBase, const std::string& procRoot,
                                         const std::string& devRoot)
{
    const auto n = findParportNumber(portBase, procRoot);
    if (!n)
        return std::nullopt;
    ParportDevice found{devRoot + "/" + parportName(*n), ""};
    // The name of the device that has claimed the port, or "none".
    std::ifstream in(procRoot + "/sys/dev/parport/" + parportName(*n) + "/devices/active");
    std::string holder;
    if (in >> holder && holder != "none")
        found.holder = holder;
    return found;
}

#ifdef __linux__

namespace {

// The driver addresses registers by role, so the port numbers of the
// accessors are mapped onto data, status and control. A read of the data
// register returns the pins, one of the control register the driver's copy of
// bits 0..3; a write to the status register is dropped, as the register is
// read-only on the hardware too.
class PpdevPort final : public PortBackend {
public:
    PpdevPort(int fd, std::uint16_t base, PpdevCalls calls)
        : m_fd(fd), m_base(base), m_calls(std::move(calls))
    {
    }
    ~PpdevPort() override
    {
        m_calls.ioctl(m_fd, PPRELEASE, nullptr);
        m_calls.close(m_fd);
    }
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    std::uint8_t read(std::uint16_t port) override
    {
        unsigned char value = 0xFF;
        const int offset = port - m_base;
        if (offset == 0)
            call(PPRDATA, &value);
        else if (offset == 1)
            call(PPRSTATUS, &value);
        else if (offset == 2)
            call(PPRCONTROL, &value);
        else
            outside(port);
        return value;
    }

    void write(std::uint16_t port, std::uint8_t value) override
    {
        const int offset = port - m_base;
        if (offset == 0) {
            unsigned char v = value;
            call(PPWDATA, &v);
        } else if (offset == 2) {
            // The driver keeps the data lines as inputs once bit 5 asked for
            // it: after the 0xFF of the first read the clock would be driven
            // no more.
            unsigned char v = value & kControlLines;
            call(PPWCONTROL, &v);
        } else if (offset != 1) {
            outside(port);
        }
    }

private:
    void call(unsigned long request, unsigned char* value)
    {
        if (m_calls.ioctl(m_fd, request, value) != 0)
            throw PortError("Parallel port access at " + portAddressText(m_base) +
                            " failed: " + std::strerror(errno));
    }

    [[noreturn]] void outside(std::uint16_t port) const
    {
        throw PortError("Port " + portAddressText(port) +
                        " is not a register of the parallel port at " + portAddressText(m_base));
    }

    int m_fd;
    std::uint16_t m_base;
    PpdevCalls m_calls;
};

void ignoreSignal(int) {}

}  // namespace

PpdevCalls systemPpdevCalls()
{
    return {[](int fd, unsigned long request, unsigned char* value) {
                return ioctl(fd, request, value);
            },
            [](int fd) { return close(fd); }};
}

int systemOpenParport(const std::string& device)
{
    // Opening selects compatibility mode, which is what bit-banging wants.
    return open(device.c_str(), O_RDWR | O_CLOEXEC);
}

// A timer signal aimed at this thread interrupts the call (EINTR): the
// handler is installed without SA_RESTART, and the timer repeats in case its
// first signal arrives before the call has begun to sleep.
int callWithTimeout(const std::function<int()>& call, std::chrono::milliseconds timeout)
{
    const int signo = SIGRTMIN;
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    if (sigaction(signo, &action, &previous) != 0)
        return -1;
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    sigset_t oldMask;
    pthread_sigmask(SIG_UNBLOCK, &only, &oldMask);

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signo;
    event._sigev_un._tid = gettid();
    timer_t timer{};
    const bool timed = timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec period{};
        if (timeout > std::chrono::milliseconds::zero()) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
            period.it_value.tv_sec = static_cast<time_t>(seconds.count());
            period.it_value.tv_nsec = static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(timeout - seconds).count());
            period.it_interval.tv_nsec = 50'000'000;
        } else {
            // No time at all is one try: a zero it_value would disarm the
            // timer and leave the call to wait for ever. The first signal
            // comes at once, most likely before the call; the repeats end
            // any wait within a millisecond.
            period.it_value.tv_nsec = 1;
            period.it_interval.tv_nsec = 1'000'000;
        }
        timer_settime(timer, 0, &period, nullptr);
    }
    // Without a timer the call could hang: refuse rather than risk it.
    const int result = timed ? call() : -1;
    const int error = timed ? errno : EAGAIN;

    // Put everything back, taking any timer signal still queued first: the
    // default action of a real-time signal ends the process.
    pthread_sigmask(SIG_BLOCK, &only, nullptr);
    if (timed)
        timer_delete(timer);
    const timespec zero{};
    while (sigtimedwait(&only, nullptr, &zero) == signo) {
    }
    sigaction(signo, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    errno = error;
    return result;
}

// PPCLAIM sleeps for as long as another program holds the port.
int systemClaimParport(int fd, std::chrono::milliseconds timeout)
{
    return callWithTimeout([fd] { return ioctl(fd, PPCLAIM); }, timeout);
}

std::unique_ptr<PortBackend> makePpdevPort(int fd, std::uint16_t portBase, PpdevCalls calls)
{
    return std::make_unique<PpdevPort>(fd, portBase, std::move(calls));
}

#else

PpdevCalls systemPpdevCalls()
{
    return {[](int, unsigned long, unsigned char*) {
                errno = ENOSYS;
                return -1;
            },
            [](int) { return 0; }};
}

int systemOpenParport(const std::string&)
{
    errno = ENOSYS;
    return -1;
}

int systemClaimParport(int, std::chrono::milliseconds)
{
    errno = ENOSYS;
    return -1;
}

std::unique_ptr<PortBackend> makePpdevPort(int, std::uint16_t, PpdevCalls)
{
    throw PortError("This system has no ppdev driver");
}

#endif

PortOpenCalls systemPortOpenCalls()
{
    PortOpenCalls calls;
    calls.findParport = [](std::uint16_t base) { return findParport(base); };
    calls.open = systemOpenParport;
    calls.claim = systemClaimParport;
    calls.ppdev = systemPpdevCalls();
    calls.grantDirectIo = systemGrantDirectIo;
    calls.directIo = systemDirectIoCalls();
    return calls;
}

}  // namespace kavoda
