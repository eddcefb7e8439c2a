#pragma once
// The notification-area icon: the way to the hidden main window, the options and the exit.
#include <wx/taskbar.h>

class taskbar_icon : public wxTaskBarIcon {
public:
    // Docks the globe with the tooltip.
    explicit taskbar_icon(const wxString& tooltip);
    ~taskbar_icon() override;

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void on_double_click(wxTaskBarIconEvent& event);
    void on_log(wxCommandEvent& event);
    void on_setup(wxCommandEvent& event);
    void on_exit(wxCommandEvent& event);

    wxDECLARE_EVENT_TABLE();
};
