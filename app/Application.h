// SPDX-License-Identifier: MIT
// The application object. Its notify() is the last net under the slot
// wrapper: an exception that escapes a handler anyway is reported there and
// the event counts as not handled, so the program goes on.
#pragma once

#include <QApplication>

namespace kavoda {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace kavoda
