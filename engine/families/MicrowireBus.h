// SPDX-License-Identifier: MIT
// The Microwire family (93Cxx EEPROMs) as the operations see a chip: reads
// of words, word writes between a write enable and a write disable with
// their ready/busy polling, and the whole-chip ERAL and WRAL, over the
// single lines of whatever adapter carries them. The image is bytes: a x16
// chip's words lie in it in the chip type's byte order.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "DeviceBus.h"
#include "WireTransport.h"

namespace kavoda {

class SimulatedLink;

class MicrowireBus final : public DeviceBus {
public:
    using Opener = std::function<std::unique_ptr<WireTransport>()>;
    MicrowireBus(Opener open, TransferLimits limits, std::shared_ptr<SimulatedLink> simulation);
    ~MicrowireBus() override;

    void claim() override;
    void release() noexcept override;
    TransferLimits limits() const override { return m_limits; }
    // A READ per word; a run whose word brings no dummy 0 before its data
    // went unanswered (nothing drives DO: no chip).
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override;
    // One word (or bytes of one word: the rest read first).
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override;
    // EWEN, the words with their polls, EWDS: many words to a transfer once
    // a write cycle has been timed. A write after which DO shows ready at
    // once started no cycle: the chip refused it (DataRefused), as it does
    // when the write enable was not taken.
    WriteOutcome writeBatch(const ChipType& chip, const std::vector<WriteRun>& runs) override;
    // True when DO shows ready with CS raised.
    bool poll(const ChipType& chip, std::uint32_t address) override;

    // Every byte of the chip set to value in one cycle: ERAL for FF, else
    // WRAL. Some parts do these only at 5 V: a caller verifies.
    BusResult writeAll(const ChipType& chip, std::uint8_t value);

    // A READ whose address bits are clocked one at a time while DO is
    // read: the number of address bits after which the chip drove its dummy
    // 0, or 0 when DO never went low. Writes nothing.
    int probeAddressBits();

    SimulatedLink* simulation() const { return m_simulation.get(); }
    // Polling lasts at most the row's longest cycle times this, then one
    // poll more.
    static constexpr std::uint64_t kPollMargin = 2;
    // The longest address the probe clocks.
    static constexpr int kProbeBits = 16;

private:
    WireTransport& transport();
    struct Word {
        std::uint32_t index;
        unsigned value;
    };
    WireCommand readCommand(const ChipType& chip, std::uint32_t word) const;
    WireCommand writeCommand(const ChipType& chip, const Word& word) const;
    WireCommand special(const ChipType& chip, unsigned top, int dataBits = 0, unsigned data = 0) const;
    // The polls after a write: at once (low: a cycle began), then around
    // the cycle timed last, or densely while none has been.
    void addPolls(WireCommand& command, std::uint64_t longestUs) const;
    // Polls until DO shows ready or the time since startNs passes limitNs.
    BusStatus waitReady(std::uint64_t startNs, std::uint64_t limitNs);
    BusStatus refusal(const ChipType& chip, std::uint32_t word);
    void learn(const WireCommand& command, const WireReply& reply);
    std::vector<Word> wordsOf(const ChipType& chip, const std::vector<WriteRun>& runs);

    Opener m_open;
    std::unique_ptr<WireTransport> m_transport;
    TransferLimits m_limits;
    std::shared_ptr<SimulatedLink> m_simulation;
    std::uint64_t m_cycleUs = 0;  // the write cycle seen last; 0: none yet
};

std::unique_ptr<DeviceBus> makeMicrowireBus(std::function<std::unique_ptr<WireTransport>()> open,
                                            TransferLimits limits,
                                            std::shared_ptr<SimulatedLink> simulation = nullptr);

// What a READ's address width says: the rows and organisations that take
// that many address bits (93C56 and 93C66 alike take 9 in x8).
struct MicrowireWidth {
    const ChipType* row;
    int organisation;
};
std::vector<MicrowireWidth> microwireChipsWithAddressBits(int bits);

}  // namespace kavoda
