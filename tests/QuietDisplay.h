// SPDX-License-Identifier: MIT
// An operation display that shows nothing, for tests that only look at the
// bus or the result: it keeps the panel text (every pass puts it back),
// counts the message pumps and, when told, asks to stop after so many.
#pragma once

#include "DeviceOperations.h"

#include <optional>
#include <string>

namespace kavoda::test {

class QuietDisplay final : public OperationDisplay {
public:
    void processMessages() override { ++pumps; }
    bool stopRequested() const override { return stopAt && pumps >= *stopAt; }
    void showPercent(int) override {}
    void showAddress(int) override {}
    void showData(std::uint8_t) override {}
    std::string panelText() const override { return m_panel; }
    void setPanelText(const std::string& text) override { m_panel = text; }
    void setMeterCaption(const std::string&) override {}

    int pumps = 0;
    std::optional<int> stopAt;

private:
    std::string m_panel;
};

} // namespace kavoda::test
