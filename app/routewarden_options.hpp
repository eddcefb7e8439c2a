#pragma once
// The modal dialog that edits the settings. On "Ok" it saves the values the user changed into the
// settings file; the agent's watcher then notices the new file and applies it. A value the
// administrator's policy sets is shown read-only, so marked, and never saved.
#include <vector>

#include <wx/dialog.h>
#include <wx/fileconf.h>
#include <wx/sharedptr.h>

#include "app/managed_policy.hpp"
#include "app/settings_file.hpp"

class wxPropertyGrid;

class routewarden_options : public wxDialog {
public:
    // Shows the values of config, which it reads here only: the agent may replace its
    // configuration while this is open, and "Ok" saves into the file as it is on disk then.
    // Settings the file lacks are shown, and saved, with defaults.
    routewarden_options(wxSharedPtr<wxFileConfig> config, const setting_defaults& defaults,
                        const managed_policy& policy, const wxFileName& settings_file);

private:
    void on_ok(wxCommandEvent& event);
    void on_cancel(wxCommandEvent& event);

    // A shown setting: its key (the property's name), the value shown at opening, and the default
    // it was read with.
    struct shown_setting {
        wxString key;
        setting_value value;
        setting_value fallback;
    };

    wxPropertyGrid* grid_;
    std::vector<shown_setting> shown_;
    setting_defaults defaults_;
    wxFileName settings_file_;

    wxDECLARE_EVENT_TABLE();
};
