#pragma once
// The notification-area icon: the way to the hidden main window, the options and the exit.
#include <wx/taskbar.h>

#include "app/platform.hpp"

class taskbar_icon : public platform::tray_icon<wxTaskBarIcon> {
public:
    // Docks the globe with the tooltip; IsIconInstalled() tells whether it is docked.
    explicit taskbar_icon(const wxString& tooltip);
    ~taskbar_icon() override;

    // The globe, with a red mark while tracking is failing, and the tooltip; main thread. While the
    // globe is not docked, each call tries again. True when IsIconInstalled() changed.
    bool show_state(bool failing, const wxString& tooltip);

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void on_double_click(wxTaskBarIconEvent& event);
    void on_log(wxCommandEvent& event);
    void on_setup(wxCommandEvent& event);
    void on_exit(wxCommandEvent& event);

    bool failing_ = false;
    wxString tooltip_;

    wxDECLARE_EVENT_TABLE();
};
