// SPDX-License-Identifier: MIT
// The simulated adapter and EEPROM: the two-wire slave state machine, the
// address decoding of both families, write cycles and the content file.
#include "SimulatedChip.h"
#include "SafeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>
#include <utility>

namespace kavoda {

namespace {

const ChipType& entryFor(std::uint8_t deviceType)
{
    const ChipType* entry = findChipByCode(deviceType);
    if (!entry)
        throw PortError("There is no device type " + std::to_string(deviceType) +
                        " to simulate");
    return *entry;
}

// cause: the errno of the failing call, taken before any clean-up can change it.
std::string fileError(const std::string& what, const std::string& path, int cause)
{
    return what + " the simulated chip's content file " + path + ": " + std::strerror(cause);
}

bool refusedForWriting(int cause)
{
    return cause == EACCES || cause == EPERM || cause == EROFS;
}

}  // namespace

// The content file taken for this process: a chip is simulated by one
// Kavoda at a time, or two runs would each keep their own cells and one's
// writes would be lost. flock() on a descriptor of the lock's own, shared
// by the chips of one process (the window may hold two buses on one file).
class SimulatedChip::ContentLock {
public:
    static std::shared_ptr<ContentLock> take(const std::string& path);
    ~ContentLock();
    ContentLock(const ContentLock&) = delete;
    ContentLock& operator=(const ContentLock&) = delete;

private:
    ContentLock(int fd, dev_t device, ino_t inode) : m_fd(fd), m_device(device), m_inode(inode) {}
    int m_fd;
    dev_t m_device;
    ino_t m_inode;
};

SimulatedChip::ContentLock::~ContentLock()
{
    ::close(m_fd);  // releases the lock
}

std::shared_ptr<SimulatedChip::ContentLock> SimulatedChip::ContentLock::take(
    const std::string& path)
{
    static std::mutex mutex;
    static std::vector<std::weak_ptr<ContentLock>> held;
    const std::lock_guard<std::mutex> guard(mutex);
    // A file replaced between open and lock is opened again: the lock must
    // be on the file that bears the name.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw PortError(fileError("Cannot open", path, errno));
        struct stat opened {};
        if (::fstat(fd, &opened) != 0) {
            const int cause = errno;
            ::close(fd);
            throw PortError(fileError("Cannot open", path, cause));
        }
        for (const auto& weak : held) {
            if (const auto lock = weak.lock();
                lock && lock->m_device == opened.st_dev && lock->m_inode == opened.st_ino) {
                ::close(fd);
                return lock;
            }
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int cause = errno;
            ::close(fd);
            if (cause == EWOULDBLOCK)
                throw PortError("The simulated chip's content file " + path +
                                " is in use by another Kavoda: one chip is simulated by one "
                                "program at a time; close that one or give another file");
            // A file system without locks: simulate unlocked rather than not at all.
            return nullptr;
        }
        struct stat named {};
        if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino) {
            std::shared_ptr<ContentLock> lock(new ContentLock(fd, opened.st_dev, opened.st_ino));
            held.erase(std::remove_if(held.begin(), held.end(),
                                      [](const auto& weak) { return weak.expired(); }),
                       held.end());
            held.push_back(lock);
            return lock;
        }
        ::close(fd);
    }
    throw PortError("The simulated chip's content file " + path +
                    " keeps being replaced by another program");
}

std::optional<ChipFault> chipFaultNamed(std::string_view name)
{
    if (name == "none")
        return ChipFault::None;
    if (name == "empty")
        return ChipFault::EmptySocket;
    if (name == "busy")
        return ChipFault::EndlessWriteCycle;
    if (name == "readonly")
        return ChipFault::WritesDoNotStick;
    if (name == "protected")
        return ChipFault::WriteProtected;
    if (name == "pinless")
        return ChipFault::IgnoresPins;
    if (name == "uniform")
        return ChipFault::UniformContent;
    if (name == "neighbour")
        return ChipFault::Neighbour;
    return std::nullopt;
}

SimulatedChip::SimulatedChip(const ChipOptions& options)
    : m_type(&entryFor(options.deviceType)),
      m_fault(options.fault),
      m_writeCycleNs(options.writeCycleNs.value_or(std::uint64_t{m_type->writeCycleUs} * 1000u)),
      m_imagePath(options.imagePath),
      m_cells(static_cast<std::size_t>(m_type->sizeBytes()), 0xFF),
      m_chipAddress(options.chipAddress),
      m_ignoresPins(options.ignoresPins || options.fault == ChipFault::IgnoresPins)
{
    const std::optional<std::uint8_t> uniform =
        options.fault == ChipFault::UniformContent ? std::uint8_t{0x00} : options.uniform;
    if (uniform && m_imagePath.empty())
        std::fill(m_cells.begin(), m_cells.end(), *uniform);
    if (!m_imagePath.empty())
        loadImage();
    const std::optional<std::uint8_t> neighbour =
        options.fault == ChipFault::Neighbour ? kNeighbourAddress : options.neighbour;
    if (neighbour) {
        ChipOptions other;
        other.deviceType = options.deviceType;
        other.neighbour = neighbour;
        m_neighbour.reset(new SimulatedChip(other, NeighbourTag{}));
    }
}

SimulatedChip::SimulatedChip(const ChipOptions& options, NeighbourTag)
    : m_type(&entryFor(options.deviceType)),
      m_fault(ChipFault::None),
      m_writeCycleNs(0),
      m_cells(1, 0xFF),
      m_chipAddress(0),
      m_fixedAddress(options.neighbour)
{
}

void SimulatedChip::loadImage()
{
    namespace fs = std::filesystem;
    const fs::path path(m_imagePath);
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec)
        throw PortError("Cannot use the simulated chip's content file " + m_imagePath + ": " +
                        ec.message());
    if (!exists) {
        // A new chip is erased. Written whole or not at all, so that no
        // half-written file is ever left under the real name.
        try {
            writeFileSafely(m_imagePath, std::string_view(reinterpret_cast<const char*>(
                                                              m_cells.data()),
                                                          m_cells.size()));
        } catch (const SafeFileError& e) {
            throw PortError("Cannot create the simulated chip's content file " + m_imagePath +
                            ": " + e.reason());
        }
    } else {
        if (!fs::is_regular_file(path, ec))
            throw PortError("The simulated chip's content file " + m_imagePath +
                            " is not a regular file");
        const auto size = fs::file_size(path, ec);
        if (ec)
            throw PortError("Cannot use the simulated chip's content file " + m_imagePath +
                            ": " + ec.message());
        if (size != m_cells.size())
            throw PortError("The simulated chip's content file " + m_imagePath + " holds " +
                            std::to_string(size) + " bytes, but a " +
                            std::string(m_type->caption) + " holds " +
                            std::to_string(m_cells.size()) +
                            "; choose another file for this type");
    }
    m_lock = ContentLock::take(m_imagePath);
    int fd = ::open(m_imagePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && refusedForWriting(errno)) {
        // A write-protected chip: reads are served, writes refused.
        fd = ::open(m_imagePath.c_str(), O_RDONLY | O_CLOEXEC);
        m_readOnly = true;
    }
    if (fd < 0)
        throw PortError(fileError("Cannot open", m_imagePath, errno));
    m_image = std::shared_ptr<int>(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    std::size_t got = 0;
    while (got < m_cells.size()) {
        const ssize_t n = ::pread(fd, m_cells.data() + got, m_cells.size() - got,
                                  static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw PortError(fileError("Cannot read", m_imagePath, errno));
        if (n == 0)
            throw PortError("The simulated chip's content file " + m_imagePath +
                            " ended early while being read");
        got += static_cast<std::size_t>(n);
    }
}

void SimulatedChip::putInFile(int address, std::uint8_t value)
{
    // Straight to the file, unbuffered: a byte it refused is not tried
    // again behind the next one's back.
    for (;;) {
        const ssize_t n = ::pwrite(*m_image, &value, 1, static_cast<off_t>(address));
        if (n == 1)
            return;
        if (n < 0 && errno == EINTR)
            continue;
        throw PortError(fileError("Cannot write", m_imagePath, n < 0 ? errno : EIO));
    }
}

void SimulatedChip::storePage(const std::vector<std::pair<int, std::uint8_t>>& bytes)
{
    if (m_readOnly)
        throw PortError("The simulated chip's content file " + m_imagePath +
                        " is read-only: the chip can be read but not written");
    if (m_image) {
        // Written through in place, a file of the right size is never
        // truncated. A page the file does not take whole is taken back, so
        // that the chip holds whole pages only and memory and file agree:
        // a write that failed stored nothing.
        std::size_t put = 0;
        try {
            for (; put < bytes.size(); ++put)
                putInFile(bytes[put].first, bytes[put].second);
        } catch (const PortError&) {
            for (std::size_t i = put; i-- > 0;) {
                try {
                    putInFile(bytes[i].first, m_cells[static_cast<std::size_t>(bytes[i].first)]);
                } catch (const PortError&) {
                    // The first failure is the one to report.
                }
            }
            throw;
        }
    }
    for (const auto& [address, value] : bytes)
        m_cells[static_cast<std::size_t>(address)] = value;
}

void SimulatedChip::drive(bool clock, bool hostData, std::uint64_t nowNs)
{
    if (m_neighbour) {
        // Each sees the line as the other leaves it: an open-drain bus.
        m_neighbour->driveLine(clock, hostData && !m_pullDown, nowNs);
        hostData = hostData && !m_neighbour->m_pullDown;
    }
    driveLine(clock, hostData, nowNs);
}

void SimulatedChip::driveLine(bool clock, bool hostData, std::uint64_t nowNs)
{
    const bool data = hostData && !m_pullDown;
    if (m_clock && clock) {
        const bool changed = data != m_data;
        m_data = data;
        if (changed) {
            // Data changing while the clock is high is a bus condition.
            if (data)
                onStop(nowNs);
            else
                onStart(nowNs);
        }
        return;
    }
    if (!m_clock && clock) {
        m_clock = true;
        m_data = data;
        onClockRise(data);
        return;
    }
    if (m_clock && !clock) {
        m_clock = false;
        onClockFall();
        m_data = hostData && !m_pullDown;
        return;
    }
    m_data = data;
}

void SimulatedChip::onStart(std::uint64_t nowNs)
{
    // A START, repeated or not, abandons any unfinished command; bytes of a
    // write only ever get stored by its STOP.
    m_pending.clear();
    m_pullDown = false;
    m_bits = 0;
    m_shift = 0;
    m_reading = false;
    // During the internal write cycle the inputs are ignored.
    if (m_fault == ChipFault::EmptySocket || writeCycleRunning(nowNs)) {
        m_phase = Phase::Idle;
        return;
    }
    m_phase = Phase::Receive;
    m_expect = Expect::DeviceAddress;
}

void SimulatedChip::onStop(std::uint64_t nowNs)
{
    const bool writing = m_phase != Phase::Idle && !m_pending.empty();
    m_phase = Phase::Idle;
    m_pullDown = false;
    m_reading = false;
    if (!writing)
        return;
    const auto pending = std::move(m_pending);
    m_pending.clear();
    if (m_fault != ChipFault::WritesDoNotStick)
        storePage(pending);
    ++m_writeCycles;
    m_busyUntilNs = m_fault == ChipFault::EndlessWriteCycle
                        ? std::numeric_limits<std::uint64_t>::max()
                        : nowNs + m_writeCycleNs;
}

void SimulatedChip::onClockRise(bool data)
{
    switch (m_phase) {
    case Phase::Receive:
        if (m_bits < 8) {
            m_shift = static_cast<std::uint8_t>((m_shift << 1) | (data ? 1 : 0));
            ++m_bits;
        }
        break;
    case Phase::AckIn:
        m_hostAcked = !data;
        break;
    case Phase::Idle:
    case Phase::AckOut:
    case Phase::Transmit:
        break;
    }
}

void SimulatedChip::onClockFall()
{
    switch (m_phase) {
    case Phase::Idle:
        break;
    case Phase::Receive:
        if (m_bits == 8)
            byteReceived();
        break;
    case Phase::AckOut:
        // The acknowledge clock is over: release the line.
        m_pullDown = false;
        if (m_reading) {
            m_phase = Phase::Transmit;
            loadNextByte();
        } else {
            m_phase = Phase::Receive;
            m_bits = 0;
            m_shift = 0;
        }
        break;
    case Phase::Transmit:
        ++m_bits;
        if (m_bits == 8) {
            m_phase = Phase::AckIn;
            m_pullDown = false;
        } else {
            m_pullDown = ((m_outByte >> (7 - m_bits)) & 1) == 0;
        }
        break;
    case Phase::AckIn:
        if (m_hostAcked) {
            m_phase = Phase::Transmit;
            loadNextByte();
        } else {
            // No acknowledge from the host ends the read; wait for STOP or START.
            m_phase = Phase::Idle;
        }
        break;
    }
}

void SimulatedChip::loadNextByte()
{
    if (m_fixedAddress) {
        m_outByte = kNeighbourData[static_cast<std::size_t>(m_counter) % sizeof kNeighbourData];
        ++m_counter;
        m_bits = 0;
        m_pullDown = (m_outByte & 0x80) == 0;
        return;
    }
    m_outByte = m_cells[static_cast<std::size_t>(m_counter)];
    m_counter = (m_counter + 1) % size();
    m_bits = 0;
    m_pullDown = (m_outByte & 0x80) == 0;
}

void SimulatedChip::byteReceived()
{
    const std::uint8_t value = m_shift;
    m_bits = 0;
    m_shift = 0;
    const int span = static_cast<int>(m_type->blockSpan());
    if (m_fixedAddress) {
        // Its address, then whatever it is sent is acknowledged and ignored;
        // each read starts its fixed bytes again.
        if (m_expect == Expect::DeviceAddress) {
            if ((value >> 1) != *m_fixedAddress) {
                m_phase = Phase::Idle;
                return;
            }
            m_reading = (value & 0x01) != 0;
            m_counter = 0;
            m_expect = Expect::Data;
        }
        m_phase = Phase::AckOut;
        m_pullDown = true;
        return;
    }
    switch (m_expect) {
    case Expect::DeviceAddress: {
        std::uint8_t seen = value;
        if (m_ignoresPins && (value & 0xF0) == 0xA0) {
            // The free pins are not compared: as if they matched.
            const std::uint8_t free = static_cast<std::uint8_t>(m_type->chipAddressMask << 1);
            seen = static_cast<std::uint8_t>((value & ~free) | ((m_chipAddress << 1) & free));
        }
        const auto block = blockAnswering(*m_type, seen, m_chipAddress);
        if (!block) {
            m_phase = Phase::Idle;  // not ours: stay silent until the next START
            return;
        }
        m_block = static_cast<int>(*block);
        m_reading = (value & 0x01) != 0;
        if (m_reading) {
            // The block bits of a read address are the high address bits.
            m_counter = (m_block * span + m_counter % span) % size();
        }
        m_wordHigh = 0;
        m_expect = m_type->wordAddressBytes == 2 ? Expect::WordAddressHigh : Expect::WordAddress;
        break;
    }
    case Expect::WordAddressHigh:
        m_wordHigh = value;
        m_expect = Expect::WordAddress;
        break;
    case Expect::WordAddress:
        // Address bits beyond the chip are ignored (the 24C01 uses 7).
        m_counter = (m_block * span + m_wordHigh * 256 + value) % size();
        m_expect = Expect::Data;
        break;
    case Expect::Data: {
        if (m_fault == ChipFault::WriteProtected) {
            // The address was taken, the data is not: no acknowledge.
            m_phase = Phase::AckOut;
            m_pullDown = false;
            return;
        }
        // The page buffer: the low address bits count up and wrap inside
        // the page, the high ones stay.
        const int page = std::max(1, m_type->pageSize);
        m_pending.emplace_back(m_counter, value);
        m_counter = (m_counter / page) * page + (m_counter + 1) % page;
        break;
    }
    }
    m_phase = Phase::AckOut;
    m_pullDown = true;
}

SimulatedAdapter::SimulatedAdapter(std::uint16_t portBase, const ChipOptions& chip)
    : m_base(portBase), m_chip(chip)
{
}

std::uint8_t SimulatedAdapter::read(std::uint16_t port)
{
    m_nowNs += kAccessNs;
    if (port == m_base)
        return m_dataRegister;
    if (port == m_base + 1) {
        const bool line = (m_controlRegister & 1) && !m_chip.pullsDataLow();
        return static_cast<std::uint8_t>(kIdleStatus | (line ? kDataLineBit : 0));
    }
    if (port == m_base + 2)
        return m_controlRegister;
    return 0xFF;  // nothing decodes other addresses
}

void SimulatedAdapter::write(std::uint16_t port, std::uint8_t value)
{
    m_nowNs += kAccessNs;
    if (port == m_base)
        m_dataRegister = value;
    else if (port == m_base + 2)
        m_controlRegister = value;
    else
        return;
    m_chip.drive((m_dataRegister & 1) != 0, (m_controlRegister & 1) != 0, m_nowNs);
}

void SimulatedAdapter::onWait(std::int64_t iterations)
{
    if (iterations > 0)
        m_nowNs += static_cast<std::uint64_t>(iterations) * kWaitIterationNs;
}

std::optional<bool> SimulatedAdapter::busDataLine() const
{
    return (m_controlRegister & 1) != 0 && !m_chip.pullsDataLow();
}

}  // namespace kavoda
