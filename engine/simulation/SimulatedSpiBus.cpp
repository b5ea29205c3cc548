// SPDX-License-Identifier: MIT
// The simulated SPI transport.
#include "SimulatedSpiBus.h"

#include "PortBackend.h"

namespace kavoda {

class SimulatedSpiBus::Transport final : public SpiTransport {
public:
    explicit Transport(SimulatedSpiBus& bus) : m_bus(bus) {}

    std::vector<std::vector<std::uint8_t>> run(
        const std::vector<SpiTransaction>& transactions) override
    {
        SimulatedSpiBus& bus = m_bus;
        // An adapter refuses what its limits do not take; so does this one,
        // so that tests find a family that oversteps them.
        std::uint64_t total = 0;
        for (const SpiTransaction& t : transactions) {
            const std::uint64_t bytes = t.out.size() + t.inLength;
            if (bytes > bus.m_limits.maxTransaction)
                throw PortError("SPI transaction of " + std::to_string(bytes) +
                                " bytes beyond the transport's " +
                                std::to_string(bus.m_limits.maxTransaction));
            total += bytes;
        }
        if (total > bus.m_limits.maxBatch)
            throw PortError("SPI call of " + std::to_string(total) + " bytes beyond the transport's " +
                            std::to_string(bus.m_limits.maxBatch));
        ++bus.m_calls;
        bus.m_nowNs += bus.m_timing.callNs;
        const std::uint64_t byteNs = 8'000'000u / bus.m_timing.clockKhz;
        std::vector<std::vector<std::uint8_t>> replies;
        replies.reserve(transactions.size());
        for (const SpiTransaction& t : transactions) {
            bus.m_nowNs += bus.m_timing.selectNs;
            bus.m_chip->select(bus.m_nowNs);
            for (const std::uint8_t byte : t.out) {
                bus.m_chip->exchange(byte, bus.m_nowNs);
                bus.m_nowNs += byteNs;
            }
            std::vector<std::uint8_t> in(t.inLength);
            for (std::uint8_t& byte : in) {
                byte = bus.m_chip->exchange(0xFF, bus.m_nowNs);
                bus.m_nowNs += byteNs;
            }
            bus.m_bytes += t.out.size() + t.inLength;
            bus.m_chip->deselect(bus.m_nowNs);
            bus.m_nowNs += bus.m_timing.selectNs;
            replies.push_back(std::move(in));
        }
        return replies;
    }
    SpiLimits limits() const override { return m_bus.m_limits; }
    std::uint64_t nowNs() const override { return m_bus.m_nowNs; }

private:
    SimulatedSpiBus& m_bus;
};

SimulatedSpiBus::SimulatedSpiBus(std::unique_ptr<SimulatedSpiDevice> chip, Timing timing,
                                 SpiLimits limits)
    : m_chip(std::move(chip)), m_timing(timing), m_limits(limits)
{
}

SimulatedSpiBus::~SimulatedSpiBus() = default;

std::unique_ptr<SpiTransport> SimulatedSpiBus::open()
{
    return std::make_unique<Transport>(*this);
}

SimulatedChip& SimulatedSpiBus::chip()
{
    throw PortError("The simulated SPI bus carries an SPI chip, not an I2C one");
}

}  // namespace kavoda
