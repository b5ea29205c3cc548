// SPDX-License-Identifier: MIT
// The five help boxes of the "&Help" menu: caption and text, one table.
// Lines are separated by a single carriage return, as the texts were
// written; displayText() turns them into line breaks for the message box.
#pragma once

#include <QString>
#include <vector>

namespace kavoda {

struct HelpBox {
    QString caption;
    QString text; // lines separated by "\r"
};

enum class HelpTopic { Device24C, DeviceSDA, Setup, ReadWrite, Edit };

const HelpBox& helpBox(HelpTopic topic);

// The text as a message box shows it: each carriage return becomes a line
// break; every blank stays.
QString displayText(const QString& crText);

} // namespace kavoda
