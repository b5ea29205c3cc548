// SPDX-License-Identifier: MIT
// Recording port and bus decoder for the engine tests.
#include "BusRecorder.h"

#include <algorithm>
#include <cstdio>

namespace kavoda::test {

std::uint8_t RecordingPort::read(std::uint16_t port)
{
    std::uint8_t value = 0xFF;
    if (m_inner)
        value = m_inner->read(port);
    else if (answer)
        value = answer(port, m_reads);
    ++m_reads;
    events.push_back({PortEvent::Read, port, value, 0});
    return value;
}

void RecordingPort::write(std::uint16_t port, std::uint8_t value)
{
    if (m_inner)
        m_inner->write(port, value);
    events.push_back({PortEvent::Write, port, value, 0});
}

void RecordingPort::onWait(std::int64_t iterations)
{
    if (m_inner)
        m_inner->onWait(iterations);
    events.push_back({PortEvent::Wait, 0, 0, iterations});
}

std::optional<bool> RecordingPort::busDataLine() const
{
    return m_inner ? m_inner->busDataLine() : std::nullopt;
}

int RecordingPort::count(PortEvent::Kind kind) const
{
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [kind](const PortEvent& e) { return e.kind == kind; }));
}

namespace {

// Line levels after each access. With `sampled`, a status read while the
// clock is high replaces the data level by what the read saw (bit 4).
std::vector<LineState> levelsOf(const std::vector<PortEvent>& events, std::uint16_t base,
                                bool sampled)
{
    std::vector<LineState> levels;
    LineState now{false, true};
    for (const PortEvent& e : events) {
        if (e.kind == PortEvent::Write && e.port == base)
            now.scl = e.value & 1;
        else if (e.kind == PortEvent::Write && e.port == base + 2)
            now.sda = e.value & 1;
        else if (sampled && e.kind == PortEvent::Read && e.port == base + 1 && now.scl &&
                 !levels.empty()) {
            // What the host saw on the wire during this clock.
            levels.back().sda = now.sda && (e.value & 0x10);
            continue;
        } else {
            continue;
        }
        levels.push_back(now);
    }
    return levels;
}

}  // namespace

std::string RecordingPort::hostTranscript() const
{
    return decodeBus(levelsOf(events, m_base, false));
}

std::string RecordingPort::wireTranscript() const
{
    return decodeBus(levelsOf(events, m_base, true));
}

std::string decodeBus(const std::vector<LineState>& levels)
{
    std::string out;
    auto token = [&out](const std::string& t) {
        if (!out.empty())
            out += ' ';
        out += t;
    };
    LineState prev{false, true};
    bool inFrame = false;
    std::vector<int> bits;
    for (const LineState& now : levels) {
        if (prev.scl && now.scl && prev.sda != now.sda) {
            token(now.sda ? "P" : "S");
            inFrame = !now.sda;
            bits.clear();
        } else if (!prev.scl && now.scl && inFrame) {
            bits.push_back(now.sda ? 1 : 0);
        }
        if (bits.size() == 9 && !now.scl) {
            int byte = 0;
            for (int i = 0; i < 8; ++i)
                byte = (byte << 1) | bits[static_cast<std::size_t>(i)];
            char text[8];
            std::snprintf(text, sizeof text, "%02X/%d", byte, bits[8]);
            token(text);
            bits.clear();
        }
        prev = now;
    }
    return out;
}

}  // namespace kavoda::test
