#pragma once
// The notification-area icon: the way to the hidden main window, the options and the exit.
#include <functional>

#include <wx/taskbar.h>

#include "app/platform.hpp"
#include "app/tracking_agent.hpp"

// What the icon's double click and menu do, given by the window that owns the icon.
struct tray_commands {
    std::function<bool()> log_shown; // whether "Log" is checked
    std::function<void()> show_log;  // the double click, and "Log" while the log is hidden
    std::function<void()> hide_log;  // "Log" while the log is shown
    std::function<void()> setup;
    std::function<void()> exit;
    std::function<bool()> setup_offered; // whether the menu has "Setup"
    std::function<bool()> exit_offered;  // whether the menu has "Exit"
};

// The globe, with a red mark while tracking is failing, and the tooltip from the title and the
// tracking state; each change of whether it is docked gets its row.
class taskbar_icon : public platform::tray_icon<wxTaskBarIcon>, public agent_view {
public:
    // Docks the globe; a globe the notification area does not take yet gets its red row.
    taskbar_icon(const wxString& title, const tracking_state& state, tray_commands commands);
    ~taskbar_icon() override;

    // Main thread. While the globe is not docked, each call tries again.
    void show_tracking(const tracking_state& state) override;

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void on_double_click(wxTaskBarIconEvent& event);
    void on_log(wxCommandEvent& event);
    void on_setup(wxCommandEvent& event);
    void on_exit(wxCommandEvent& event);

    void log_docked() const;

    const wxString title_;
    const tray_commands commands_;
    bool failing_ = false;
    wxString tooltip_;

    wxDECLARE_EVENT_TABLE();
};
