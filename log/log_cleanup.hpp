#pragma once
// The seven-day clean-up of a log folder (remove_old_logs) at once and then every period
// while it lives, so that a run of months keeps a week of files. It spares the file being
// written, asked anew each time: a run that wrote nothing for a week still writes on into it.
// Main thread only.
#include <chrono>
#include <functional>

#include <wx/filename.h>
#include <wx/string.h>
#include <wx/timer.h>

class log_cleanup {
public:
    log_cleanup(const wxString& folder, std::function<wxFileName()> current_file,
                std::chrono::milliseconds period = std::chrono::hours(24));

private:
    void run() const;

    wxString folder_;
    std::function<wxFileName()> current_file_;
    wxTimer timer_;
};
