// SPDX-License-Identifier: MIT
// The progress bar of the whole-chip verbs, on standard error: operation,
// percent, address, bytes per second and time left, redrawn in place.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace kavoda {

// One line of the bar, without the carriage return. seconds is the time
// since the operation began; rate and time left are left out until it has
// run long enough to say something.
std::string progressLine(const std::string& operation, long done, long total, long address,
                         double seconds);

class ProgressBar {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Draws nothing unless enabled (standard error is a terminal and no -q).
    ProgressBar(std::ostream& err, bool enabled, Clock clock = std::chrono::steady_clock::now);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool enabled() const { return m_enabled; }
    // Starts a new operation; ends the line of the one before.
    void begin(const std::string& operation, long total);
    // done bytes of total are finished; address is the one being worked on.
    // Redrawn when the percent changes or a fifth of a second has passed.
    void update(long done, long address);
    // Ends the line so that what follows starts on a line of its own.
    void end();

private:
    void draw(long done, long address);

    std::ostream& m_err;
    bool m_enabled;
    Clock m_clock;
    std::string m_operation;
    long m_total = 0;
    long m_lastPercent = -1;
    std::size_t m_lastWidth = 0;
    bool m_open = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace kavoda
