#pragma once
#include <cstdint>
#include <functional>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/string.h>

// One HTML log file per run, in <home>/Quillbank/log.

// "routewarden[*].html": the wildcard pattern of every name log_file_name gives.
extern const wxString log_file_pattern;

// "routewarden[<time><pid>].html", the two numbers in decimal with nothing between them.
wxString log_file_name(std::uint32_t time, unsigned long pid);

// This run's log file in the log folder, the folder (with missing parents) created when
// missing. Throws std::runtime_error with the translated "Error creating log dir [%s]".
wxFileName prepare_log_file();

// Deletes the files in folder matching pattern whose last change lies more than seven days back.
void remove_old_logs(const wxString& folder, const wxString& pattern);

// The same with the clock given, asked anew for every file.
void remove_old_logs(const wxString& folder, const wxString& pattern, const std::function<wxDateTime()>& now);
