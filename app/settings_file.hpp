#pragma once
// The per-user settings file: where it lives, how it is opened and how a change on disk is told
// from the events of the folder watcher. No GUI: the main window and the tests share it.
#include <cstdint>

#include <wx/datetime.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/sharedptr.h>

// <home>/Quillbank/config/.routewarden
wxFileName settings_file_name();

// Creates the file's folder with every missing parent; false when that fails, which the caller
// reports: the library's own message is suppressed.
bool create_settings_folder(const wxFileName& file);

// A configuration on the file, local file only, strict UTF-8. A missing file in an existing folder
// is created with the first-start values, in this order: tracking_server_address,
// coordinate_server_address, coordinate_server_port, debug, device.
wxSharedPtr<wxFileConfig> open_settings(const wxFileName& file);

// True when the file exists and its modification time differs from last_seen, which is then
// updated. A deleted file, or an event about another file, changes nothing.
bool settings_file_changed(const wxFileName& file, wxDateTime& last_seen);

// Writes a setting only when the file lacks it or holds another value: a save without a change
// must keep the file's modification time, or the watcher would report a change.
void write_setting(wxConfigBase& config, const wxString& key, const wxString& value);
void write_setting(wxConfigBase& config, const wxString& key, bool value);

// "telemetry", default false.
bool telemetry_enabled(const wxConfigBase& config);

// "telemetry_port" as a number: its leading decimal digits; 0 when it does not begin with a digit.
// The telemetry worker sends to its low 16 bits.
std::uint32_t telemetry_port(const wxConfigBase& config);
