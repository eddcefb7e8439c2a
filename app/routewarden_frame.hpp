#pragma once
// The one main window. It owns everything that lives for the whole run: the log view, the tray
// icon, the settings and their watcher, and the workers. Its constructor is the program's
// start-up and its destructor the shutdown.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <wx/aui/framemanager.h>
#include <wx/datetime.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/fswatcher.h>
#include <wx/sharedptr.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "app/managed_policy.hpp"
#include "app/presets.hpp"
#include "app/routewarden_options.hpp"
#include "app/tracking_state.hpp"
#include "coordinates/poll_timing.hpp"

class delivery_store;
class log_cleanup;
class log_viewer;
class process_messages_thread;
struct resolved_settings;
class taskbar_icon;
class telemetry_thread;
class timer_thread;

class routewarden_frame : public wxFrame {
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

private:
    // The tray icon's way back to the hidden window.
    void show_and_raise();
    void on_iconize(wxIconizeEvent& event);
    void on_close(wxCloseEvent& event);
    void on_setup(wxCommandEvent& event);
    // Asks for a folder, the desktop first, and writes the support bundle there (app/diagnostics.hpp).
    void on_save_diagnostics(wxCommandEvent& event);
    void on_exit(wxCommandEvent& event);
    void on_thread_info(wxThreadEvent& event);
    void on_thread_error(wxThreadEvent& event);
    void on_thread_status(wxThreadEvent& event);
    // The tray icon's tooltip and picture follow the workers' reports.
    void on_tracking_report(wxThreadEvent& event);
    void track(tracking_report kind, long number, const wxString& text = {});
    // Whether the tray icon is shown: at start only when it is not, later at each change.
    void log_tray_icon();
    void on_config_changed(wxFileSystemWatcherEvent& event);
    // Reloads the file and the policy and re-applies the settings when the file has a new
    // modification time.
    void apply_config_change();
    // The policy again, each minute: a change in the values in force is applied once a second
    // read agrees.
    void on_policy_timer(wxTimerEvent& event);
    // Reads the policy; a change it sees is read again a little later.
    void check_policy();
    // The second read: when it agrees, the change goes in force and is applied.
    void on_policy_confirm_timer(wxTimerEvent& event);
    // The rows for the policy now in force after the one before. A refused value gets its red row
    // once, while it stays the same; the managed keys are named at start and after a change that
    // changes them. True when the values in force changed.
    bool report_policy(const managed_policy& before, bool at_start);
    // A worker that ended by an exception or could not start: counted for the tray icon's mark and
    // started again by the restart timer, at most once a minute.
    void worker_down(const wxString& name);
    // Each worker that ended or was dropped, with the settings in force; one still leaving its
    // thread waits for the next turn.
    void on_restart_timer(wxTimerEvent& event);
    template <class Worker, class Start>
    void restart_ended(std::unique_ptr<Worker>& worker, const std::set<wxString>& ended, Start start);
    // Runs the created worker; one that cannot start gets its red row and is dropped, so that
    // nothing later waits for it.
    template <class Worker> void run_or_report(std::unique_ptr<Worker>& worker);
    // The values in force: the policy, the file, the defaults.
    resolved_settings resolved() const;

    void create_menu_and_status_bar();
    void size_status_fields();
    void create_log_view();
    void create_config_folder();
    // The watcher needs a running main loop on some platforms: armed from the loop's first turn,
    // then the file is checked once for a change made before the watch existed.
    void watch_config_folder();
    void write_start_rows();
    // The machine's presets over the built-in defaults, once at start; a red row for each refused.
    void read_presets();
    void open_config();

    // The messages the last run left in the outbox go back into the store, with a row saying
    // how many; an outbox that cannot be used gives its error row.
    void restore_outbox();
    // Polling worker, then delivery worker: each created with its settings, then started.
    void start_workers(const resolved_settings& resolved);
    void start_poller(const resolved_settings& resolved);
    void start_sender(const resolved_settings& resolved);
    // Telemetry worker on this port; stopped with the others.
    void start_telemetry(std::uint32_t port);
    // The new values to the delivery worker first, then the polling worker. Each takes them at its
    // next cycle; a worker is never paused (on Windows a pause suspends the thread wherever it is,
    // perhaps holding a lock that the hand-over needs).
    void reload_workers(const resolved_settings& resolved);
    // Delivery worker, then polling worker (its connection aborted and its loop stopped first),
    // then the telemetry worker, each waited for; then the outbox is closed.
    void stop_workers();

    wxAuiManager aui_manager_;
    wxFileName log_file_name_;
    log_viewer* log_view_ = nullptr;
    // Deletes week-old log files at start and daily, never the one being written.
    std::unique_ptr<log_cleanup> log_cleanup_;
    wxFileName config_file_;
    setting_defaults defaults_;
    // The preset keys' values in force and their sources, for the diagnostics.
    std::vector<setting_row> preset_rows_;
    // Its policy in force: its refusals are those already reported.
    policy_watch policy_;
    wxTimer policy_timer_;
    wxTimer policy_confirm_timer_;
    wxSharedPtr<wxFileConfig> config_;
    // Owned, so that a constructor that throws takes the icon with it: left docked, it would reach
    // a window that never came to be.
    std::unique_ptr<taskbar_icon> tray_icon_;
    tracking_state tracking_;
    wxDateTime config_time_;
    std::unique_ptr<wxFileSystemWatcher> watcher_;
    // Weak: at the end of the session the library may delete the dialog before the window.
    wxWeakRef<routewarden_options> open_options_;
    bool close_after_options_ = false;
    // Shared by the poller and the sender; declared before them, so that it outlives them.
    const poll_timing timing_;
    std::unique_ptr<delivery_store> store_;
    // Joinable: the window waits for each worker's end before it goes; empty when not running.
    std::unique_ptr<timer_thread> timer_;
    std::unique_ptr<process_messages_thread> process_messages_;
    std::unique_ptr<telemetry_thread> telemetry_;
    std::optional<std::uint32_t> telemetry_port_; // while telemetry was switched on at start
    std::set<wxString> ended_workers_;            // by name, until started again
    wxTimer restart_timer_;

    wxDECLARE_EVENT_TABLE();
};

// The one main window, set once by the application before the main loop runs; it reads as null
// once the window is destroyed, so a late request (a signal during shutdown) finds no window.
extern wxWeakRef<routewarden_frame> main_frame;
