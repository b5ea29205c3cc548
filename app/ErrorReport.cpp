// SPDX-License-Identifier: MIT
#include "ErrorReport.h"

#include <stdexcept>

namespace kavoda {

namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
} // namespace

QString errorReportText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void setErrorReportSink(std::function<void(const QString&)> s)
{
    sink() = std::move(s);
}

QString messageBoxText(const QString& crText)
{
    QString text = crText;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::unique_ptr<QMessageBox> makeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                            const QString& crText, QWidget* owner)
{
    auto box = std::make_unique<QMessageBox>(icon, caption, messageBoxText(crText),
                                             QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

std::unique_ptr<QMessageBox> makeErrorReportBox(const QString& message)
{
    return makeMessageBox(QMessageBox::Critical, kApplicationTitle, errorReportText(message));
}

void showErrorReport(const QString& message)
{
    if (sink()) {
        sink()(errorReportText(message));
        return;
    }
    makeErrorReportBox(message)->exec();
}

void showNotice(const QString& message)
{
    if (sink()) {
        sink()(errorReportText(message));
        return;
    }
    makeMessageBox(QMessageBox::Information, kApplicationTitle, errorReportText(message))->exec();
}

void reportException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        showErrorReport(QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("Unknown error"));
    }
}

} // namespace kavoda
