#pragma once
// The per-user settings file: where it lives, how it is opened and how a change on disk is told
// from the events of the folder watcher. No GUI: the main window and the tests share it.
#include <string>
#include <variant>
#include <vector>

#include <wx/datetime.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/sharedptr.h>

#include "app/settings_keys.hpp"

// Creates the file's folder with every missing parent; false when that fails, which the caller
// reports: the library's own message is suppressed.
bool create_settings_folder(const wxFileName& file);

// The last good copy kept beside the file: "<file>.bak", the last whole file the agent read.
wxFileName settings_copy_name(const wxFileName& file);

// A file the agent did not write whole: empty, without a key, or with a last line that lacks the
// line end every write ends with (a save cut short by a power cut, say).
bool settings_text_damaged(const std::string& content);

// How open_settings found the file.
enum class settings_found { whole, missing, damaged_copy_used, damaged_no_copy };

// A configuration on the file, strict UTF-8, that writes it only when its content changed, and
// then with replace_durably: the library's own write deletes the old file before the new one is on
// the disk. A missing file in an existing folder is created with the first-start values, in this
// order: tracking_server_address, coordinate_server_address, coordinate_server_port, debug, device
// (all but debug from defaults). A whole file becomes the last good copy; a damaged one is never
// read: the configuration holds the last good copy, or nothing (presets and defaults apply).
wxSharedPtr<wxFileConfig> open_settings(const wxFileName& file, const setting_defaults& defaults,
                                        settings_found* found = nullptr);

// What open_settings would read, the file or its last good copy, for a reader beside a running
// agent: it writes nothing, ever, and creates nothing.
wxSharedPtr<wxFileConfig> read_settings(const wxFileName& file);

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
// keeps its modification time. A file deleted meanwhile is made anew as at first start; a damaged
// one is replaced by the changes on the last good copy, or on the first-start values.
void save_setting_edits(const wxFileName& file, const setting_defaults& defaults,
                        const std::vector<setting_edit>& edits);

