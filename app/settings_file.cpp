#include "app/settings_file.hpp"

#include <algorithm>

#include <wx/log.h>
#include <wx/strconv.h>

#include "app/platform.hpp"
#include "app/settings_keys.hpp"

wxFileName settings_file_name()
{
    wxFileName file(wxFileName::GetHomeDir(), ".routewarden");
    file.AppendDir("Quillbank");
    file.AppendDir("config");
    return file;
}

bool create_settings_folder(const wxFileName& file)
{
    const wxLogNull reported_by_the_caller;  // the library's own box would come on top of its row
    return file.DirExists() || file.Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
}

wxSharedPtr<wxFileConfig> open_settings(const wxFileName& file, const setting_defaults& defaults)
{
    const wxString path = file.GetFullPath();
    wxSharedPtr<wxFileConfig> config(
        new wxFileConfig(wxString(), wxString(), path, wxString(), wxCONFIG_USE_LOCAL_FILE, wxConvUTF8));
    // Without its folder, whose failure the caller has reported, nothing can be written; readers
    // take the same values from their defaults.
    if (!file.FileExists() && file.DirExists()) {
        config->Write(settings::tracking_server_address, defaults.tracking_server_address);
        config->Write(settings::coordinate_server_address, defaults.coordinate_server_address);
        config->Write(settings::coordinate_server_port, defaults.coordinate_server_port);
        config->Write(settings::debug, false);
        config->Write(settings::device, defaults.device);
        config->Flush();
    }
    return config;
}

bool settings_file_changed(const wxFileName& file, wxDateTime& last_seen)
{
    if (!file.FileExists())
        return false;
    const wxDateTime modified = platform::modification_time(file);
    if (modified.IsValid() && last_seen.IsValid() && modified == last_seen)
        return false;
    last_seen = modified;
    return true;
}

void write_setting(wxConfigBase& config, const wxString& key, const wxString& value)
{
    if (!config.HasEntry(key) || config.Read(key) != value)
        config.Write(key, value);
}

void write_setting(wxConfigBase& config, const wxString& key, bool value)
{
    if (!config.HasEntry(key) || config.ReadBool(key, !value) != value)
        config.Write(key, value);
}

void save_setting_edits(const wxFileName& file, const setting_defaults& defaults,
                        const std::vector<setting_edit>& edits)
{
    if (std::none_of(edits.begin(), edits.end(), [](const setting_edit& edit) { return edit.changed; }))
        return;
    const auto config = open_settings(file, defaults);
    for (const setting_edit& edit : edits) {
        std::visit(
            [&](const auto& value) {
                if (edit.changed)
                    write_setting(*config, edit.key, value);
                else if (!config->HasEntry(edit.key))
                    config->Write(edit.key, value);
            },
            edit.value);
    }
    config->Flush();
}
