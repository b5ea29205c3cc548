// SPDX-License-Identifier: MIT
#include "Application.h"

#include "ErrorReport.h"

namespace kavoda {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportException(std::current_exception());
        return false;
    }
}

} // namespace kavoda
