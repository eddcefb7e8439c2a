#pragma once
// The modal dialog that edits the settings. On "Ok" it writes them back and flushes the file;
// the main window's watcher then notices the new file and applies it.
#include <wx/dialog.h>
#include <wx/fileconf.h>
#include <wx/sharedptr.h>

class wxPropertyGrid;

class routewarden_options : public wxDialog {
public:
    // Holds its own reference: the main window may replace its configuration while this is open.
    explicit routewarden_options(wxSharedPtr<wxFileConfig> config);

private:
    void on_ok(wxCommandEvent& event);
    void on_cancel(wxCommandEvent& event);

    wxPropertyGrid* grid;
    wxSharedPtr<wxFileConfig> config;

    wxDECLARE_EVENT_TABLE();
};
