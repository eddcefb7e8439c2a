#pragma once
// The support bundle behind "Save diagnostics…": one zip with the recent logs, the settings file,
// the values in force, the outbox's state, the versions and the newest dump pairs. No GUI, so that
// it is written and read back without a display.
#include <cstddef>
#include <vector>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/string.h>

#include "app/presets.hpp"

// The dump pairs the bundle holds at most, newest first.
constexpr std::size_t diagnostic_dump_pairs = 20;
// The log files of each run it holds at most: a run that rolled over keeps its newest files.
constexpr std::size_t diagnostic_logs_per_run = 3;

struct diagnostics_content {
    wxFileName current_log;  // this run's file being written; the folder's other logs come with it
    wxFileName settings_file;
    wxFileName dump_folder;
    // Each value in force with its source (values.txt).
    std::vector<setting_row> values;
    std::size_t waiting = 0;  // messages in the outbox
    bool durable = true;      // false while they are kept in memory only
};

// "routewarden-diagnostics-<host>-<YYYYMMDD-HHMMSS>.zip", the host kept to letters, digits, '-',
// '_' and '.'.
wxString diagnostics_file_name(const wxString& host, const wxDateTime& when);

struct diagnostics_outcome {
    wxFileName zip;     // where it was written
    wxString failure;   // why it was not; empty on success
};

// Writes the zip into folder under diagnostics_file_name(wxGetHostName(), when). It is written
// under a temporary name and renamed when complete, so a failure never leaves a partial zip under
// the final name. A file that vanished meanwhile is left out, not a failure.
diagnostics_outcome save_diagnostics(const wxString& folder, const diagnostics_content& content,
                                     const wxDateTime& when);
