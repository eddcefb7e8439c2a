#pragma once
// Where the agent keeps its files, computed once at start and handed down: no lower layer builds a
// folder of its own.
#include <wx/filename.h>
#include <wx/string.h>

struct agent_folders {
    wxString settings; // the settings file and its last good copy
    wxString log;      // the HTML log files
    wxString delivery; // the outbox, its stale mark and the dump files

    // <settings>/.routewarden
    wxFileName settings_file() const { return wxFileName(settings, ".routewarden"); }
};

// Under the user's home folder: Quillbank/config, Quillbank/log and Quillbank/routewarden.
agent_folders user_folders();
