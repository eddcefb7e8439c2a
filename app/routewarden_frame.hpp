#pragma once
// The one main window: the view of the agent's log and status, with its menu. It owns the agent,
// created before any view, and its tray icon. Its destructor ends the agent.
#include <memory>

#include <wx/aui/framemanager.h>
#include <wx/frame.h>
#include <wx/weakref.h>

#include "app/routewarden_options.hpp"
#include "app/tracking_agent.hpp"

class log_viewer;
class taskbar_icon;

class routewarden_frame : public wxFrame, private agent_view {
public:
    // Throws std::runtime_error when the log folder cannot be created. The agent polls on the
    // default timing; tests and benchmarks pass a shorter one.
    routewarden_frame(const wxString& title, const wxPoint& position, const wxSize& size, poll_timing timing = {});
    ~routewarden_frame() override;

    // The options dialog on the current settings, modal; shared by the menu and the tray icon.
    // One at a time: while it is open, it is raised instead.
    void show_options();

    // "Exit": closes the window with force. An open options dialog (a termination signal can
    // come while it is open) is cancelled first: the window cannot go while the dialog's loop runs.
    void exit_program();

    tracking_agent& agent() { return *agent_; }

private:
    void show_status(status_field field, const wxString& text) override;
    // The File menu offers what the policy allows; the close box only hides while Exit is not.
    void show_policy(const managed_policy& policy) override;
    // The tray icon's way back to the hidden window.
    void show_and_raise();
    void on_close(wxCloseEvent& event);
    // Asks for a folder, the desktop first, and has the agent write the support bundle there.
    void save_diagnostics();
    void create_menu_and_status_bar();
    bool allowed(const char* menu_key) const { return agent_->policy().allows(menu_key); }

    std::unique_ptr<tracking_agent> agent_;
    wxAuiManager aui_manager_;
    log_viewer* log_view_ = nullptr;
    wxMenu* file_menu_ = nullptr;
    // Owned, so that a constructor that throws takes the icon with it: left docked, it would reach
    // a window that never came to be.
    std::unique_ptr<taskbar_icon> tray_icon_;
    // Weak: at the end of the session the library may delete the dialog before the window.
    wxWeakRef<routewarden_options> open_options_;
    bool close_after_options_ = false;
};

// The one main window, set once by the application before the main loop runs; it reads as null
// once the window is destroyed, so a late request (a signal during shutdown) finds no window.
extern wxWeakRef<routewarden_frame> main_frame;
