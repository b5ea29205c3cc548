// SPDX-License-Identifier: MIT
// The interrupt flag and its signal handler.
#include "Interrupt.h"

#include <csignal>

#ifndef _WIN32
#include <signal.h>
#endif

namespace kavoda {

namespace {
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}
}  // namespace

void installInterruptHandler()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // One-shot: if the tool ever hangs, a second Ctrl+C still ends it.
    // SA_RESTART: a system call the signal interrupts goes on, and the verb
    // stops at its next transaction boundary, saying how far it got.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Under a file-size limit the write that crosses it fails with EFBIG and
    // is reported like a full disk, instead of the signal killing the tool
    // half-way with its temporary file left behind.
    ::signal(SIGXFSZ, SIG_IGN);
#else
    std::signal(SIGINT, onInterrupt);
#endif
}

void requestInterrupt()
{
    g_interrupted = 1;
}

bool interruptRequested()
{
    return g_interrupted != 0;
}

void clearInterrupt()
{
    g_interrupted = 0;
}

}  // namespace kavoda
