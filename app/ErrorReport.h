// SPDX-License-Identifier: MIT
// The default error report: a failure inside a user action ends that action
// and is shown in one message box, after which the program goes on. Every
// handler that Qt calls runs through guarded(), so no exception ever crosses
// the event loop unreported.
#pragma once

#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

class QWidget;

namespace kavoda {

// The application title, caption of every error report.
inline const QString kApplicationTitle = QStringLiteral("Kavoda");

// The message as the report shows it: a full stop is appended when the last
// character's code lies above that of the full stop.
QString errorReportText(const QString& message);

// The text as a message box shows it: each carriage return becomes a line
// break; every blank stays.
QString messageBoxText(const QString& crText);

// A message box with one OK button that shows its text as plain text (so
// runs of blanks are not folded and no markup is read), broken into lines
// at the carriage returns.
std::unique_ptr<QMessageBox> makeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                            const QString& crText, QWidget* owner = nullptr);

// The box of the default error report: caption "Kavoda", error icon, OK.
std::unique_ptr<QMessageBox> makeErrorReportBox(const QString& message);

// Shows the report, or hands the text to the sink installed for tests.
void showErrorReport(const QString& message);

// The same for what went well but must be known (where an image was
// kept): an information icon instead of the error icon; tests see it
// through the same sink.
void showNotice(const QString& message);

// Tests install a sink to see the reports instead of a modal box; an empty
// function restores the message box.
void setErrorReportSink(std::function<void(const QString&)> sink);

// Reports an exception caught at a slot boundary.
void reportException(std::exception_ptr error);

template <class F>
void guarded(F&& f)
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportException(std::current_exception());
    }
}

// A slot body wrapped for connect(): slot([this] { ReadBtnClick(); }).
template <class F>
auto slot(F f)
{
    return [f = std::move(f)](auto&&...) mutable { guarded(f); };
}

} // namespace kavoda
