#pragma once
// The notification-area icon: the way to the hidden main window, the options and the exit.
#include <functional>

#include <wx/taskbar.h>

#include "app/platform.hpp"

// What the icon's double click and menu do, given by the window that owns the icon.
struct tray_commands {
    std::function<bool()> log_shown; // whether "Log" is checked
    std::function<void()> show_log;  // the double click, and "Log" while the log is hidden
    std::function<void()> hide_log;  // "Log" while the log is shown
    std::function<void()> setup;
    std::function<void()> exit;
};

class taskbar_icon : public platform::tray_icon<wxTaskBarIcon> {
public:
    // Docks the globe with the tooltip; IsIconInstalled() tells whether it is docked.
    taskbar_icon(const wxString& tooltip, tray_commands commands);
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

    const tray_commands commands_;
    bool failing_ = false;
    wxString tooltip_;

    wxDECLARE_EVENT_TABLE();
};
