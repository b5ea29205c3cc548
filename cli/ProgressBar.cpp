// SPDX-License-Identifier: MIT
// Drawing the progress bar.
#include "ProgressBar.h"

#include "HexText.h"

#include <cstdio>
#include <ostream>

namespace kavoda {

namespace {
constexpr int kBarWidth = 24;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr double kSettleSeconds = 0.5;  // before that, a rate says little

std::string rateText(double bytesPerSecond)
{
    char text[32];
    if (bytesPerSecond >= 10'000)
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000);
    else
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
}

std::string durationText(double seconds)
{
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}
}  // namespace

std::string progressLine(const std::string& operation, long done, long total, long address,
                         double seconds)
{
    const long percent = total > 0 ? done * 100 / total : 100;
    const long filled = total > 0 ? done * kBarWidth / total : kBarWidth;
    char head[96];
    std::snprintf(head, sizeof head, "%-12s %3ld%% [%s%s] %s", operation.c_str(), percent,
                  std::string(static_cast<std::size_t>(filled), '#').c_str(),
                  std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(),
                  addressHex(static_cast<std::uint64_t>(address)).c_str());
    std::string line = head;
    if (seconds >= kSettleSeconds && done > 0) {
        const double rate = done / seconds;
        line += "  " + rateText(rate);
        if (done < total)
            line += "  " + durationText((total - done) / rate) + " left";
        else
            line += "  " + durationText(seconds);
    }
    return line;
}

ProgressBar::ProgressBar(std::ostream& err, bool enabled, Clock clock)
    : m_err(err), m_enabled(enabled), m_clock(std::move(clock))
{
}

ProgressBar::~ProgressBar()
{
    end();
}

void ProgressBar::begin(const std::string& operation, long total)
{
    end();
    m_operation = operation;
    m_total = total;
    m_lastPercent = -1;
    m_lastWidth = 0;
    if (!m_enabled)
        return;
    m_start = m_clock();
    m_lastDraw = m_start;
    m_open = true;
    draw(0, 0);
}

void ProgressBar::update(long done, long address)
{
    if (!m_open)
        return;
    const long percent = m_total > 0 ? done * 100 / m_total : 100;
    const auto now = m_clock();
    if (percent != m_lastPercent || now - m_lastDraw >= kRedrawInterval || done == m_total)
        draw(done, address);
}

void ProgressBar::end()
{
    if (!m_open)
        return;
    m_err << '\n' << std::flush;
    m_open = false;
}

void ProgressBar::draw(long done, long address)
{
    const auto now = m_clock();
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    std::string line = progressLine(m_operation, done, m_total, address, seconds);
    const std::size_t width = line.size();
    // Blank out what a longer line before left behind.
    if (width < m_lastWidth)
        line.append(m_lastWidth - width, ' ');
    m_err << '\r' << line << std::flush;
    m_lastWidth = width;
    m_lastDraw = now;
    m_lastPercent = m_total > 0 ? done * 100 / m_total : 100;
}

}  // namespace kavoda
