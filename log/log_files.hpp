#pragma once
// The HTML log files of a run, in the log folder: one to begin with, and another each time the one
// being written grows too big.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/string.h>

// "routewarden[*].html": the wildcard pattern of every name log_file_name gives.
extern const wxString log_file_pattern;

// "routewarden[<time><pid>].html", the two numbers in decimal with nothing between them.
wxString log_file_name(std::uint32_t time, unsigned long pid);

// The first name log_file_name gives for pid at time or a later second that no file in folder
// holds yet: a run that continues in a new file within the same second takes the next second.
wxFileName free_log_file(const wxString& folder, std::uint32_t time, unsigned long pid);

// free_log_file for now and this process.
wxFileName new_log_file(const wxString& folder);

// This run's first log file in folder, the folder (with missing parents) created when missing.
// Throws std::runtime_error with the translated "Error creating log dir [%s]".
wxFileName prepare_log_file(const wxString& folder);

// Deletes the files in folder matching pattern whose last change lies more than seven days back,
// except keep.
void remove_old_logs(const wxString& folder, const wxString& pattern, const wxFileName& keep);

// The same with the clock given, asked anew for every file.
void remove_old_logs(const wxString& folder, const wxString& pattern, const wxFileName& keep,
                     const std::function<wxDateTime()>& now);

// The log files in folder changed within the last seven days, newest first, as many as fit into
// total_limit bytes together: the first that would pass it is left out with all older ones, so the
// files taken follow each other without a gap. current, this run's file, comes first whatever its
// age and size (it counts towards the limit); empty when there is none.
std::vector<wxFileName> recent_logs(const wxString& folder, const wxFileName& current, std::uintmax_t total_limit,
                                    const wxDateTime& now);
