// SPDX-License-Identifier: MIT
// Device transactions over an adapter's own I2C controller.
#include "ControllerBus.h"

#include <stdexcept>

#include "Ch341a.h"
#include "I2cDev.h"
#include "PortBackend.h"
#include "SimulatedCh341a.h"
#include "SimulatedI2cDev.h"
#include "ee24c.h"

namespace kavoda {

namespace {

// The controller together with the link or file it talks through.
template <typename Link, typename Bus>
class Owning final : public I2cController {
public:
    template <typename... Args>
    Owning(std::unique_ptr<Link> link, Args&&... args)
        : m_link(std::move(link)), m_bus(*m_link, std::forward<Args>(args)...)
    {
    }
    I2cRead randomRead(std::uint8_t a, std::uint8_t w) override { return m_bus.randomRead(a, w); }
    bool byteWrite(std::uint8_t a, std::uint8_t w, std::uint8_t d) override
    {
        return m_bus.byteWrite(a, w, d);
    }
    bool poll(std::uint8_t a) override { return m_bus.poll(a); }

private:
    std::unique_ptr<Link> m_link;
    Bus m_bus;
};

std::uint8_t addressByte(Family family, std::uint8_t block)
{
    return family == Family::SDA ? addressSDA(block) : address24C(block);
}

}  // namespace

struct ControllerBus::Simulation {
    std::unique_ptr<SimulatedCh341a> ch341a;
    std::unique_ptr<SimulatedI2cDev> i2cDev;
};

ControllerBus::ControllerBus(AdapterChoice choice, std::optional<ChipOptions> simulatedChip)
{
    if (choice.isParallelPort())
        throw std::invalid_argument("the parallel port has no I2C controller");
    if (simulatedChip) {
        m_simulation = std::make_unique<Simulation>();
        if (choice.kind == AdapterKind::Ch341a) {
            m_simulation->ch341a = std::make_unique<SimulatedCh341a>(*simulatedChip);
            SimulatedCh341a* sim = m_simulation->ch341a.get();
            m_open = [sim, speed = choice.speed] {
                return std::make_unique<Ch341aBus>(*sim, speed);
            };
        } else {
            m_simulation->i2cDev = std::make_unique<SimulatedI2cDev>(*simulatedChip);
            SimulatedI2cDev* sim = m_simulation->i2cDev.get();
            m_open = [sim, path = choice.i2cPath] {
                return std::make_unique<I2cDevBus>(*sim, path);
            };
        }
        return;
    }
    if (choice.kind == AdapterKind::Ch341a) {
        m_open = [speed = choice.speed]() -> std::unique_ptr<I2cController> {
            return std::make_unique<Owning<UsbBulkLink, Ch341aBus>>(openCh341aUsb(), speed);
        };
    } else {
        m_open = [path = choice.i2cPath]() -> std::unique_ptr<I2cController> {
            return std::make_unique<Owning<I2cDevFile, I2cDevBus>>(openI2cDev(path), path);
        };
    }
}

ControllerBus::ControllerBus(Opener open) : m_open(std::move(open)) {}

ControllerBus::~ControllerBus() = default;

void ControllerBus::claim()
{
    if (!m_controller)
        m_controller = m_open();
}

void ControllerBus::release() noexcept
{
    // Closing the USB device or the bus file lets other programs have it
    // between operations, as the parallel port is released.
    m_controller.reset();
}

I2cController& ControllerBus::controller()
{
    // The loops claim the bus first; a lone transaction (the command line's
    // get and set) opens it for itself.
    if (!m_controller)
        claim();
    return *m_controller;
}

std::uint8_t ControllerBus::readByte(Family family, std::uint8_t block, std::uint8_t address)
{
    const I2cRead read = controller().randomRead(addressByte(family, block), address);
    recordTransaction(read.answered, false);
    return read.value;
}

void ControllerBus::writeByte(Family family, std::uint8_t block, std::uint8_t address,
                              std::uint8_t data)
{
    I2cController& bus = controller();
    const std::uint8_t device = addressByte(family, block);
    const bool answered = bus.byteWrite(device, address, data);
    // The chip ignores its address during the write cycle; at most as many
    // polls as the parallel port makes, in the same address form.
    bool stored = false;
    for (int poll = 0; poll < kMaxAckPolls && !stored; ++poll)
        stored = bus.poll(device);
    recordTransaction(answered, !stored);
}

SimulatedChip* ControllerBus::simulatedChip()
{
    if (!m_simulation)
        return nullptr;
    if (m_simulation->ch341a)
        return &m_simulation->ch341a->chip();
    return &m_simulation->i2cDev->chip();
}

std::uint64_t ControllerBus::simulatedNowNs() const
{
    if (!m_simulation)
        return 0;
    return m_simulation->ch341a ? m_simulation->ch341a->nowNs() : m_simulation->i2cDev->nowNs();
}

}  // namespace kavoda
