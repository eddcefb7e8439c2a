#include "app/diagnostics_command.hpp"

#include <cstdio>

#include <wx/intl.h>

#include "app/agent_folders.hpp"
#include "app/diagnostics.hpp"
#include "app/platform.hpp"
#include "app/presets.hpp"
#include "app/settings_file.hpp"

namespace {
void print_line(std::FILE* stream, const wxString& text)
{
    std::fputs((text + '\n').utf8_str(), stream);
    std::fflush(stream);
}
}

int diagnostics_command(const wxString& folder)
{
    const agent_folders folders = user_folders();
    const preset_defaults presets = apply_presets(platform::machine_preset);
    const managed_policy policy = read_managed_policy(platform::policy_value);
    const auto settings = read_settings(folders.settings_file());
    const diagnostics_outcome outcome = save_diagnostics(
        folder, diagnostics_for(folders, policy, presets.refused, *settings, presets.defaults), wxDateTime::Now());
    if (!outcome.failure.empty()) {
        print_line(stderr, wxString::Format(_("Diagnostics could not be saved: %s"), outcome.failure));
        return 1;
    }
    print_line(stdout, outcome.zip.GetFullPath());
    return 0;
}
