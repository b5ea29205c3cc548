// SPDX-License-Identifier: MIT
// A program's command line as plain lines, for the manual pages and the
// shell completion to read: they take option names, verbs and texts from the
// parser itself and so cannot drift from it.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kavoda {

// One line per verb, option and argument, fields split by tabs:
//   KIND  SCOPE  NAMES  VALUE  DESCRIPTION
// KIND is verb, option (takes a value), flag, arg (a required argument) or
// optarg; SCOPE the verb an entry belongs to, or - for the program's own;
// NAMES "-d,--device", an argument's name or the verb's; VALUE the value's
// name as --help shows it ("TYPE", "FAULT:{empty,busy}"), - for none. A
// verb's own -h,--help is left out, and so is `skip` (the option that asks
// for this listing).
void listOptions(const CLI::App& app, std::ostream& out, const CLI::Option* skip);

// --list WHAT, asked for by the manual pages' generator and the shell
// completion: thrown as soon as it is parsed, so that nothing else is needed.
struct ListingRequest {
    std::string what;
};

// The program's --version (printing "PROGRAM VERSION") and its hidden
// --list option, which the returned option is.
CLI::Option* addVersionAndListing(CLI::App& app, const std::string& program);

}  // namespace kavoda
