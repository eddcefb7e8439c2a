#pragma once
// Where the agent keeps its files, computed once at start and handed down: no lower layer builds a
// folder of its own.
#include <vector>

#include <wx/filename.h>
#include <wx/string.h>

struct agent_folders {
    wxString settings; // the settings file and its last good copy
    wxString log;      // the HTML log files
    wxString delivery; // the outbox, its stale mark and the dump files

    // <settings>/.routewarden
    wxFileName settings_file() const { return wxFileName(settings, ".routewarden"); }
};

// Quillbank/config, Quillbank/log and Quillbank/routewarden under base.
agent_folders folders_under(const wxString& base);

// Under the folder the platform keeps the user's files in (platform::user_files_folder).
agent_folders user_folders();

// When only the folders under where earlier versions kept the files (platform::former_user_files_folder)
// hold the settings or the outbox, moves them (the settings file and its copy, the outbox with its
// journal and its stale mark) into to, once: the logs stay. The files moved, by their new paths; a
// file that cannot be moved stays where it was.
std::vector<wxString> move_former_files(const agent_folders& to);
