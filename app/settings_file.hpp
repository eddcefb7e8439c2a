#pragma once
// The per-user settings file: where it lives, how it is opened and how a change on disk is told
// from the events of the folder watcher. No GUI: the main window and the tests share it.
#include <variant>
#include <vector>

#include <wx/datetime.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/sharedptr.h>

#include "app/settings_keys.hpp"

// <home>/Quillbank/config/.routewarden
wxFileName settings_file_name();

// Creates the file's folder with every missing parent; false when that fails, which the caller
// reports: the library's own message is suppressed.
bool create_settings_folder(const wxFileName& file);

// A configuration on the file, local file only, strict UTF-8. A missing file in an existing folder
// is created with the first-start values, in this order: tracking_server_address,
// coordinate_server_address, coordinate_server_port, debug, device (all but debug from defaults).
wxSharedPtr<wxFileConfig> open_settings(const wxFileName& file, const setting_defaults& defaults);

// True when the file exists and its modification time differs from last_seen, which is then
// updated. A deleted file, or an event about another file, changes nothing.
bool settings_file_changed(const wxFileName& file, wxDateTime& last_seen);

// Writes a setting only when the file lacks it or holds another value: a save without a change
// must keep the file's modification time, or the watcher would report a change.
void write_setting(wxConfigBase& config, const wxString& key, const wxString& value);
void write_setting(wxConfigBase& config, const wxString& key, bool value);

// One setting as the options dialog saves it: the value the user set (changed), or else the
// default that readers take when the file lacks the setting.
using setting_value = std::variant<wxString, bool>;
struct setting_edit {
    wxString key;
    setting_value value;
    bool changed;
};

// Saves the options dialog into the file as it is on disk now, so that edits made by hand while
// the dialog was open stay: the changed values are written, settings the file lacks get their
// defaults, and every other line stays as it is. Without a change nothing is written and the file
// keeps its modification time. A file deleted meanwhile is made anew as at first start.
void save_setting_edits(const wxFileName& file, const setting_defaults& defaults,
                        const std::vector<setting_edit>& edits);

