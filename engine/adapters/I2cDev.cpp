// SPDX-License-Identifier: MIT
// The i2c-dev bus transactions, and the bus file over the Linux driver.
#include "I2cDev.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "BusTrace.h"
#include "HardwarePort.h"
#include "PortBackend.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kavoda {

bool isNotAcknowledged(int error)
{
#ifdef EREMOTEIO
    if (error == EREMOTEIO)
        return true;
#endif
    return error == ENXIO || error == EIO || error == ETIMEDOUT;
}

I2cDevBus::I2cDevBus(I2cDevFile& file, std::string path, std::function<std::uint64_t()> clock)
    : m_file(file), m_path(std::move(path)), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = monotonicNs;
}

std::vector<I2cMessage> I2cDevBus::readMessages(const AddressPhase& phase, std::uint32_t length)
{
    const std::uint16_t address = sevenBitAddress(phase.device);
    I2cMessage word{address, false, {}};
    word.data.assign(phase.word, phase.word + phase.wordBytes);
    return {word, I2cMessage{address, true, std::vector<std::uint8_t>(length, 0xFF)}};
}

std::vector<I2cMessage> I2cDevBus::writeMessages(const AddressPhase& phase,
                                                 const std::uint8_t* data, std::uint32_t length)
{
    I2cMessage message{sevenBitAddress(phase.device), false, {}};
    message.data.assign(phase.word, phase.word + phase.wordBytes);
    message.data.insert(message.data.end(), data, data + length);
    return {message};
}

std::vector<I2cMessage> I2cDevBus::pollMessages(std::uint8_t addressByte)
{
    return {I2cMessage{sevenBitAddress(addressByte), false, {}}};
}

std::vector<I2cMessage> I2cDevBus::fallbackPollMessages(std::uint8_t addressByte)
{
    return {I2cMessage{sevenBitAddress(addressByte), true, {0xFF}}};
}

int I2cDevBus::transfer(std::vector<I2cMessage>& messages)
{
    // EAGAIN: arbitration lost or the driver busy, worth a few more tries.
    constexpr int kBusyTries = 10;
    int busy = 0;
    for (;;) {
        const int error = m_file.transfer(messages);
        if (error == EINTR)
            continue;
        if (error == EAGAIN && ++busy < kBusyTries)
            continue;
        return error;
    }
}

bool I2cDevBus::check(int error) const
{
    if (error == 0)
        return true;
    if (isNotAcknowledged(error))
        return false;
    throw PortError("The I2C bus " + m_path + " failed: " + std::strerror(error));
}

I2cController::ReadOutcome I2cDevBus::read(const std::vector<ControllerRun>& runs)
{
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::vector<I2cMessage> messages = readMessages(runs[r].phase, runs[r].length);
        // The kernel stops a transfer at the first missing acknowledge and
        // returns no data; the idle bus would have read 0xFF.
        if (!check(transfer(messages))) {
            std::fill(runs[r].out, runs[r].out + runs[r].length, 0xFF);
            return ReadOutcome{BusResult{BusStatus::NoAcknowledge, 0}, r};
        }
        std::copy(messages[1].data.begin(), messages[1].data.end(), runs[r].out);
    }
    return {};
}

BusResult I2cDevBus::write(const AddressPhase& phase, const std::uint8_t* data,
                           std::uint32_t length, std::uint64_t pollLimitNs)
{
    std::vector<I2cMessage> messages = writeMessages(phase, data, length);
    const int error = transfer(messages);
    if (error != 0) {
        check(error);  // throws for a failure that is no missing acknowledge
        // ENXIO: the address went unanswered. A chip that does not answer a
        // poll either is not there (some drivers say EIO for that too).
        if (error == ENXIO || !poll(phase.device))
            return BusResult{BusStatus::NoAcknowledge, 0};
#ifdef EREMOTEIO
        // The chip took its address and a later byte was not acknowledged:
        // the data refused, as a write-protected chip does.
        if (error == EREMOTEIO)
            return BusResult{BusStatus::DataRefused, 0};
#endif
        // EIO or ETIMEDOUT part-way through, with the chip answering: the
        // bus failed, nothing says the chip refused a byte.
        throw PortError("The I2C bus " + m_path + " failed during a write: " +
                        std::strerror(error));
    }
    // The transfer ended with its STOP: the chip holds the bytes now.
    m_writeStored = true;
    // The deadline counts from that STOP, and the last poll always comes
    // after it: a process held up past the deadline still asks once more
    // before calling the chip busy.
    const std::uint64_t stop = m_clock();
    for (;;) {
        const bool late = m_clock() - stop >= pollLimitNs;
        if (poll(phase.device))
            return {};
        if (late)
            return BusResult{BusStatus::Busy, 0};
    }
}

bool I2cDevBus::poll(std::uint8_t addressByte)
{
    if (m_zeroLengthPolls) {
        std::vector<I2cMessage> messages = pollMessages(addressByte);
        const int error = transfer(messages);
        if (error != EOPNOTSUPP && error != EINVAL)
            return check(error);
        // Some bus drivers refuse messages without bytes. A read of one byte
        // is answered the same way and leaves the cells alone.
        m_zeroLengthPolls = false;
    }
    std::vector<I2cMessage> messages = fallbackPollMessages(addressByte);
    return check(transfer(messages));
}

bool I2cDevBus::probe(std::uint8_t addressByte)
{
    std::vector<I2cMessage> messages = fallbackPollMessages(addressByte);
    return check(transfer(messages));
}

bool isI2cDevPath(const std::string& path)
{
    const std::string prefix = "/dev/i2c-";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9')
            return false;
    }
    return path.size() - prefix.size() <= 4;
}

std::string i2cDevOpenErrorText(const std::string& path, int error, bool asRoot)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "There is no I2C bus " + path + ". Load the i2c-dev module (" +
               std::string(asRoot ? "" : "sudo ") +
               "modprobe i2c-dev) and check the number with i2cdetect -l";
    case EACCES:
    case EPERM:
        if (asRoot)
            return "No permission to use the I2C bus " + path +
                   ", even as root: the system withholds it (a container without the device, "
                   "or a security policy)";
        return "No permission to use the I2C bus " + path +
               ". Add yourself to the group i2c (sudo adduser \"$(id -un)\" i2c) and log in "
               "again";
    case EBUSY:
        return "The I2C bus " + path + " is in use";
    default:
        return "Cannot open the I2C bus " + path + ": " + std::strerror(error);
    }
}

#ifdef __linux__

namespace {

class LinuxI2cDev final : public I2cDevFile {
public:
    explicit LinuxI2cDev(int fd) : m_fd(fd) {}
    ~LinuxI2cDev() override { ::close(m_fd); }
    LinuxI2cDev(const LinuxI2cDev&) = delete;
    LinuxI2cDev& operator=(const LinuxI2cDev&) = delete;

    int transfer(std::vector<I2cMessage>& messages) override
    {
        std::vector<i2c_msg> raw(messages.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            raw[i].addr = messages[i].address;
            raw[i].flags = messages[i].read ? I2C_M_RD : 0;
            raw[i].len = static_cast<__u16>(messages[i].data.size());
            raw[i].buf = messages[i].data.data();
        }
        i2c_rdwr_ioctl_data request{raw.data(), static_cast<__u32>(raw.size())};
        if (::ioctl(m_fd, I2C_RDWR, &request) < 0)
            return errno;
        return 0;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<I2cDevFile> openI2cDev(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw PortError(i2cDevOpenErrorText(path, errno));
    unsigned long functions = 0;
    if (::ioctl(fd, I2C_FUNCS, &functions) < 0 || (functions & I2C_FUNC_I2C) == 0) {
        ::close(fd);
        throw PortError("The I2C bus " + path +
                        " cannot do combined transfers (I2C_RDWR); its driver offers SMBus only");
    }
    return std::make_unique<LinuxI2cDev>(fd);
}

#else

std::unique_ptr<I2cDevFile> openI2cDev(const std::string& path)
{
    throw PortError("There is no I2C bus " + path + " on this system");
}

#endif

}  // namespace kavoda
