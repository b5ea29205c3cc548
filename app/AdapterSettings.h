// SPDX-License-Identifier: MIT
// The [Adapter] section of Kavoda.INI: the adapter the window uses when the
// command line names none. A section of its own beside the three the window
// rewrites at every start; only read, never written.
//
//   [Adapter]
//   Adapter=ch341a          (parport, ch341a or i2c:/dev/i2c-N)
//   Speed=100               (the CH341A's bus clock in kHz: 20, 100, 400, 750)
#pragma once

#include "Adapter.h"
#include "PortSession.h"

#include <QString>
#include <optional>

namespace kavoda {

// The stored adapter, or empty when the file has no adapter named (a file
// without the section means the parallel port). A text that names no adapter
// counts as the parallel port, a speed that is none of the four as 100 kHz,
// as an unknown port text counts as "Port1".
std::optional<AdapterChoice> loadAdapterSetting();

// What the window hands resolveAdapter as the stored adapter: the settings
// file's; when it names none, a CH341A in I2C mode that is plugged in into a
// computer whose kernel knows no parallel port at any of the port dialog's
// three addresses; else none, the parallel port. The USB is looked at only
// when the command line names no adapter, no simulated chip and no trace.
std::optional<AdapterChoice> adapterForWindow(const PortOptions& options);

// What the main window's caption appends for an adapter other than the
// parallel port: " [CH341A]", " [I2C /dev/i2c-1]"; empty for the parallel port.
QString adapterMarker(const AdapterChoice& adapter);

} // namespace kavoda
