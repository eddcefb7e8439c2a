#pragma once
// The notification-area icon: the way to the hidden main window, the options and the exit.
#include <wx/taskbar.h>

class taskbar_icon : public wxTaskBarIcon {
public:
    // Docks the globe with the tooltip.
    explicit taskbar_icon(const wxString& tooltip);
    ~taskbar_icon() override;

    // False when the globe could not be docked; the window says so once its log exists.
    bool docked() const { return docked_; }

    // The globe, with a red mark while tracking is failing, and the tooltip; main thread.
    void show_state(bool failing, const wxString& tooltip);

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void on_double_click(wxTaskBarIconEvent& event);
    void on_log(wxCommandEvent& event);
    void on_setup(wxCommandEvent& event);
    void on_exit(wxCommandEvent& event);

    bool docked_ = false;
    bool failing_ = false;
    wxString tooltip_;

    wxDECLARE_EVENT_TABLE();
};
