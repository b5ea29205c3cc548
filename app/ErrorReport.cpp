// SPDX-License-Identifier: MIT
#include "ErrorReport.h"

#include <QMessageBox>
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

void showErrorReport(const QString& message)
{
    const QString text = errorReportText(message);
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok);
    box.exec();
}

void reportException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        showErrorReport(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("Unknown error"));
    }
}

} // namespace kavoda
