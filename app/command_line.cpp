#include "app/command_line.hpp"

#include <cstdio>

#include "app/diagnostics_command.hpp"
#include "app/platform.hpp"

namespace {
// Long enough for an agent to end a delivery in flight, short enough for a deployment tool.
constexpr int close_limit_seconds = 30;

int report(const wxString& error, int code)
{
    if (!error.empty()) {
        std::fprintf(stderr, "routewarden: %s\n", static_cast<const char*>(error.mb_str()));
        std::fflush(stderr);
    }
    return error.empty() ? 0 : code;
}
}

std::optional<int> run_command(const wxArrayString& arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    platform::use_system_text_encoding();
    if (arguments.size() == 2 && arguments[1] == "--close-all")
        return report(platform::close_all_agents(close_limit_seconds), 1);
    if (arguments.size() == 2 && arguments[1] == "--start-in-sessions")
        return report(platform::start_in_noted_sessions(), 1);
    if (arguments.size() == 3 && arguments[1] == "--diagnostics")
        return diagnostics_command(arguments[2]);
    return report("usage: routewarden [--close-all | --start-in-sessions | --diagnostics <folder>]", 2);
}
