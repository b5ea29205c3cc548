// SPDX-License-Identifier: MIT
// calibrate: how long one port access and one turn of the wait loop take on
// this computer, the clock each Delay gives with them, and the stored result
// that later reads and writes are checked against.
#include <ostream>

#include "Adapter.h"
#include "Calibration.h"
#include "PortSession.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

// The simulated socket needs a chip, though calibrating never addresses it.
constexpr const char* kCalibrateDevice = "24C02";

bool parallelPort(Tool& tool)
{
    return resolveAdapter(tool.session().options()).isParallelPort();
}

int runCalibrate(Tool& tool)
{
    tool.prepare(kCalibrateDevice);
    if (!parallelPort(tool))
        throw UsageError("calibrate measures the parallel port's bus; the adapter chosen "
                         "makes its own clock");
    PortSession& session = tool.session();
    const bool simulated = session.options().simulateType.has_value();
    BusSpeeds speeds;
    {
        struct Release {
            PortSession& session;
            ~Release() { session.close(); }
        } release{session};
        session.open(PortBase);
        speeds = measureBusSpeeds(PortBase, session.clock());
    }

    std::ostream& out = tool.out();
    if (simulated) {
        // Its times are a model's and say nothing of this computer: they
        // only tell what clock a trace of the simulated bus shows.
        out << "The simulated parallel port at " << portAddressText(PortBase)
            << ", timed by its model, not by this computer:\n"
            << calibrationReport(speeds, "in the simulation")
            << "These are the clocks that a --trace of the simulated bus shows. Nothing is "
               "stored; run calibrate on the real port to measure this computer.\n";
        return kExitOk;
    }
    out << "The parallel port at " << portAddressText(PortBase) << ":\n"
        << calibrationReport(speeds);
    const std::string path = calibrationFilePath(tool.settingsFolder());
    saveCalibration(path, {speeds, PortBase});
    out << "Stored in " << path
        << "; kavoda-cli warns when a read or write starts at a Delay too fast for 100 kHz "
           "parts.\n";
    return kExitOk;
}

}  // namespace

void addCalibrateVerb(VerbTable& verbs)
{
    verbs.add("calibrate",
              "Measure the bus timing of this computer and port, print the clock of Delay 10 "
              "to 100 against the 100 and 400 kHz limits, and store the result",
              [](Tool& tool) { return runCalibrate(tool); });
}

void warnOfFastBus(Tool& tool)
{
    if (!parallelPort(tool))
        return;
    // Reads wait half as long as writes, and every verb reads.
    if (const auto warning =
            storedBusTimingWarning(calibrationFilePath(tool.settingsFolder()), BusDelay, 1))
        tool.warn("warning: " + *warning);
}

}  // namespace kavoda
