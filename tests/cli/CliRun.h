// SPDX-License-Identifier: MIT
// kavoda-cli run in-process, its output and exit code caught for a test.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"

namespace kavoda::test {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

// Runs the tool with args after its name and input on standard input; the
// rest of environment (terminal, settings folder, pump) as given.
inline CliRun runTool(std::vector<std::string> args, CliEnvironment environment,
                      const std::string& input = std::string())
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    environment.in = &in;
    environment.out = &out;
    environment.err = &err;
    const int code = runCli(static_cast<int>(argv.size()), argv.data(), environment);
    return {code, out.str(), err.str()};
}

}  // namespace kavoda::test
