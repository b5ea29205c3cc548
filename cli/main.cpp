// SPDX-License-Identifier: MIT
// Entry point of kavoda-cli.
#include <iostream>

#include "Cli.h"

int main(int argc, char** argv)
{
    return kavoda::runCli(argc, argv, std::cout, std::cerr);
}
