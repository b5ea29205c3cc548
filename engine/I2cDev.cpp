// SPDX-License-Identifier: MIT
// The i2c-dev bus transactions, and the bus file over the Linux driver.
#include "I2cDev.h"

#include <cerrno>
#include <cstring>

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

I2cDevBus::I2cDevBus(I2cDevFile& file, std::string path) : m_file(file), m_path(std::move(path)) {}

std::vector<I2cMessage> I2cDevBus::randomReadMessages(std::uint8_t addressByte, std::uint8_t word)
{
    const std::uint16_t address = sevenBitAddress(addressByte);
    return {I2cMessage{address, false, {word}}, I2cMessage{address, true, {0xFF}}};
}

std::vector<I2cMessage> I2cDevBus::byteWriteMessages(std::uint8_t addressByte, std::uint8_t word,
                                                     std::uint8_t data)
{
    return {I2cMessage{sevenBitAddress(addressByte), false, {word, data}}};
}

std::vector<I2cMessage> I2cDevBus::pollMessages(std::uint8_t addressByte)
{
    return {I2cMessage{sevenBitAddress(addressByte), false, {}}};
}

std::vector<I2cMessage> I2cDevBus::fallbackPollMessages(std::uint8_t addressByte)
{
    return {I2cMessage{sevenBitAddress(addressByte), true, {0xFF}}};
}

bool I2cDevBus::run(std::vector<I2cMessage>& messages)
{
    return check(m_file.transfer(messages));
}

bool I2cDevBus::check(int error) const
{
    if (error == 0)
        return true;
    if (isNotAcknowledged(error))
        return false;
    throw PortError("The I2C bus " + m_path + " failed: " + std::strerror(error));
}

I2cRead I2cDevBus::randomRead(std::uint8_t addressByte, std::uint8_t word)
{
    std::vector<I2cMessage> messages = randomReadMessages(addressByte, word);
    I2cRead result;
    result.answered = run(messages);
    // The kernel stops a transfer at the first missing acknowledge and
    // returns no data; the idle bus would have read 0xFF.
    result.value = result.answered && !messages[1].data.empty() ? messages[1].data[0] : 0xFF;
    return result;
}

bool I2cDevBus::byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t data)
{
    std::vector<I2cMessage> messages = byteWriteMessages(addressByte, word, data);
    return run(messages);
}

bool I2cDevBus::poll(std::uint8_t addressByte)
{
    if (m_zeroLengthPolls) {
        std::vector<I2cMessage> messages = pollMessages(addressByte);
        const int error = m_file.transfer(messages);
        if (error != EOPNOTSUPP && error != EINVAL)
            return check(error);
        // Some bus drivers refuse messages without bytes. A read of one byte
        // is answered the same way and leaves the cells alone.
        m_zeroLengthPolls = false;
    }
    std::vector<I2cMessage> messages = fallbackPollMessages(addressByte);
    return run(messages);
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

std::string i2cDevOpenErrorText(const std::string& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "There is no I2C bus " + path +
               ". Load the i2c-dev module (sudo modprobe i2c-dev) and check the number with "
               "i2cdetect -l";
    case EACCES:
    case EPERM:
        return "No permission to use the I2C bus " + path +
               ". Add yourself to the group i2c (sudo adduser $USER i2c) and log in again";
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
