// SPDX-License-Identifier: MIT
// The application object's last net: an exception that escapes an event
// handler is reported, the event counts as unhandled, the program goes on.
// Its own main(), because the test needs our application object.
#include "Application.h"
#include "ErrorReport.h"

#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kavoda;

namespace {

class Throwing : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("Disk full");
        return QObject::event(e);
    }
};

TEST(Application, NotifyReportsWhatEscapesAHandler)
{
    QStringList reports;
    setErrorReportSink([&](const QString& text) { reports << text; });
    Throwing target;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
    EXPECT_EQ(reports, QStringList("Disk full."));
    QEvent other(QEvent::None);
    QCoreApplication::sendEvent(&target, &other);
    EXPECT_EQ(reports.size(), 1);
    setErrorReportSink({});
}

TEST(Application, SlotWrapperReportsAtTheBoundary)
{
    QStringList reports;
    setErrorReportSink([&](const QString& text) { reports << text; });
    auto handler = slot([] { throw std::runtime_error("'' is not a valid integer value"); });
    handler();
    EXPECT_EQ(reports, QStringList("'' is not a valid integer value."));
    setErrorReportSink({});
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
