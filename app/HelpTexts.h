// SPDX-License-Identifier: MIT
// The five help boxes of the "&Help" menu: caption and text, one table.
// Lines are separated by a single carriage return, as the texts were
// written; the message box breaks its lines there.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace kavoda {

struct HelpBox {
    QString caption;
    QString text; // lines separated by "\r"
};

enum class HelpTopic { Device24C, DeviceSDA, Setup, ReadWrite, Edit };

const HelpBox& helpBox(HelpTopic topic);

// The message box of a help command: owned by owner, information icon, one
// OK button, the text shown as plain text with its line breaks.
std::unique_ptr<QMessageBox> makeHelpBox(QWidget* owner, const HelpBox& box);

// Shows the box modally and ignores its result, or hands caption and shown
// text to the sink installed for tests.
void showHelpBox(QWidget* owner, const HelpBox& box);
void setHelpBoxSink(std::function<void(const QString& caption, const QString& shownText)> sink);

} // namespace kavoda
