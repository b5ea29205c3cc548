// SPDX-License-Identifier: MIT
// Entry point of kavoda-cli.
#include <iostream>

#include <unistd.h>

#include "Cli.h"
#include "Interrupt.h"

int main(int argc, char** argv)
{
    kavoda::installInterruptHandler();
    kavoda::CliEnvironment environment;
    environment.in = &std::cin;
    environment.out = &std::cout;
    environment.err = &std::cerr;
    environment.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return kavoda::runCli(argc, argv, environment);
}
