// SPDX-License-Identifier: MIT
#include "OptionListing.h"

#include "KavodaVersion.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>

namespace kavoda {

namespace {

// A field must not break the line or the fields apart.
std::string field(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
    return text.empty() ? "-" : text;
}

const char* kindOf(const CLI::Option& option)
{
    if (option.get_positional())
        return option.get_required() ? "arg" : "optarg";
    return option.get_expected_max() == 0 ? "flag" : "option";
}

void listEntries(const CLI::App& app, const std::string& scope, std::ostream& out,
                 const CLI::Option* skip, const CLI::Option* verbHelp)
{
    for (const CLI::Option* option : app.get_options()) {
        if (option == skip || option == verbHelp)
            continue;
        const bool positional = option->get_positional();
        const std::string names = positional ? option->get_name(true) : option->get_name(false, true);
        const char* kind = kindOf(*option);
        const std::string value = std::string(kind) == "flag" ? "" : option->get_type_name();
        out << kind << '\t' << scope << '\t' << field(names) << '\t' << field(value) << '\t'
            << field(option->get_description()) << '\n';
    }
}

}  // namespace

void listOptions(const CLI::App& app, std::ostream& out, const CLI::Option* skip)
{
    listEntries(app, "-", out, skip, nullptr);
    for (const CLI::App* verb : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::string name = verb->get_name();
        out << "verb\t" << name << '\t' << name << "\t-\t" << field(verb->get_description())
            << '\n';
        listEntries(*verb, name, out, skip, verb->get_help_ptr());
    }
}

CLI::Option* addVersionAndListing(CLI::App& app, const std::string& program)
{
    app.set_version_flag("--version", program + " " + kKavodaVersion);
    return app
        .add_option_function<std::string>(
            "--list", [](const std::string& what) { throw ListingRequest{what}; })
        ->trigger_on_parse()
        ->group("");
}

}  // namespace kavoda
