// SPDX-License-Identifier: MIT
// SIGTERM and SIGHUP (a kill, a logout) as a call on the GUI thread, so
// that a running operation can stop at a byte boundary and leave its report
// instead of dying in the middle of a transaction.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kavoda {

class EndSignals : public QObject {
public:
    // From now until destruction, each SIGTERM or SIGHUP calls onSignal
    // from the event loop (also from the per-byte message handling of a
    // running operation). Only one may exist at a time.
    explicit EndSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~EndSignals() override;
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    void arrived();

    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kavoda
