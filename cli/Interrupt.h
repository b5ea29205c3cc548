// SPDX-License-Identifier: MIT
// Ctrl+C: the signal only raises a flag; the loops look at it between two
// bus transactions, so a byte on the bus is always finished and the port is
// released by the normal way out.
#pragma once

namespace kavoda {

// Catches SIGINT and SIGTERM once; a second one ends the program at once.
void installInterruptHandler();
void requestInterrupt();
bool interruptRequested();
void clearInterrupt();

// Exit code of a run stopped by Ctrl+C, as a shell reports SIGINT.
inline constexpr int kExitInterrupted = 130;

}  // namespace kavoda
