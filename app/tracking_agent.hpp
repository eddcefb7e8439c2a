#pragma once
// The agent without its windows: it builds and wires, in this order, the running log and its file,
// the settings (file, presets, policy, their watcher and timers), the outbox's store and the workers,
// and stops them again. The workers' facts reach it on the main thread; it writes their rows and
// tells its views what to show. No GUI: it runs without a display.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <wx/datetime.h>
#include <wx/event.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/fswatcher.h>
#include <wx/sharedptr.h>
#include <wx/timer.h>

#include "app/agent_folders.hpp"
#include "app/event_reports.hpp"
#include "app/managed_policy.hpp"
#include "app/presets.hpp"
#include "app/tracking_state.hpp"
#include "coordinates/poll_timing.hpp"
#include "worker_base/thread_events.hpp"

class delivery_store;
class log_cleanup;
class process_messages_thread;
struct resolved_settings;
class running_log;
class telemetry_thread;
class timer_thread;

enum class status_field { delivery, coordinates };

// What a view is told, on the main thread. A view unsubscribes before it goes.
class agent_view {
public:
    virtual void show_status(status_field, const wxString&) {}
    virtual void show_tracking(const tracking_state&) {}
    // At subscription and after each change of the policy in force.
    virtual void show_policy(const managed_policy&) {}

protected:
    ~agent_view() = default;
};

class tracking_agent : public wxEvtHandler {
public:
    // Opens the log, the settings and the outbox, with their rows. Throws std::runtime_error when the
    // log folder cannot be created. The agent polls on the default timing; tests pass a shorter one.
    explicit tracking_agent(const agent_folders& folders, poll_timing timing = {});
    ~tracking_agent() override;

    void subscribe(agent_view* view);
    void unsubscribe(agent_view* view);

    // The workers (poller, sender, telemetry when on), the policy's checks and the settings' watch.
    void start();
    // The sender, then the poller (its connection aborted first), then telemetry, each waited for;
    // then the outbox is closed and the settings written. Once.
    void stop();

    running_log& log() { return *log_; }
    const tracking_state& tracking() const { return tracking_; }

    // What the options dialog shows and saves into.
    const wxSharedPtr<wxFileConfig>& config() const { return config_; }
    const setting_defaults& defaults() const { return defaults_; }
    const managed_policy& policy() const { return policy_.in_force(); }
    wxFileName settings_file() const { return folders_.settings_file(); }

    // Writes the support bundle into folder, and a row saying where or why not.
    void save_diagnostics(const wxString& folder);

private:
    void on_status(wxThreadEvent& event);
    void on_fact(wxThreadEvent& event);
    void track(const worker_fact& fact);
    void show_tracking();

    void write_start_rows();
    void read_presets();
    void open_config();
    void watch_config_folder();
    void apply_config_change();
    // The policy again: a change it sees is read again a little later, and applied once that agrees.
    void check_policy();
    // Once a minute: the policy, and the system log's view of deliveries and the log file.
    void on_minute();
    void confirm_policy();
    // The rows for the policy now in force after the one before. A refused value gets its red row
    // once, while it stays the same; the managed keys are named at start and after a change that
    // changes them. True when the values in force changed.
    bool report_policy(const managed_policy& before, bool at_start);
    // The values in force: the policy, the file, the defaults; a refused value of the file gets its
    // red row once, while it stays the same.
    resolved_settings resolved();

    void restore_outbox();
    void start_poller(const resolved_settings& in_force);
    void start_sender(const resolved_settings& in_force);
    void start_telemetry(std::uint16_t port);
    // Runs the created worker; one that cannot start gets its red row and is dropped.
    template <class Worker> void run_or_report(std::unique_ptr<Worker>& worker);
    // A worker that ended by an exception or could not start: counted for the tray icon's mark and
    // started again by the restart timer, at most once a minute.
    void worker_down(const wxString& name);
    void restart_ended_workers();
    template <class Worker, class Start>
    void restart_ended(std::unique_ptr<Worker>& worker, const std::set<wxString>& ended, Start start);
    // The new values to the sender first, then the poller, each with its row; each takes them at its
    // next cycle. A worker is never paused (on Windows a pause suspends the thread wherever it is,
    // perhaps holding a lock that the hand-over needs).
    void reload_workers(const resolved_settings& in_force);

    const agent_folders folders_;
    std::unique_ptr<running_log> log_;
    // Deletes week-old log files at start and daily, never the one being written.
    std::unique_ptr<log_cleanup> log_cleanup_;
    setting_defaults defaults_;
    // The presets' refusals, for the diagnostics.
    std::vector<wxString> preset_refusals_;
    // Its policy in force: its refusals are those already reported.
    policy_watch policy_;
    wxTimer policy_timer_;
    wxTimer policy_confirm_timer_;
    wxSharedPtr<wxFileConfig> config_;
    wxDateTime config_time_;
    std::vector<wxString> file_refusals_; // those already reported
    std::unique_ptr<wxFileSystemWatcher> watcher_;
    tracking_state tracking_;
    event_reports events_;
    std::vector<agent_view*> views_;
    // Shared by the poller and the sender; declared before them, so that it outlives them.
    const poll_timing timing_;
    std::unique_ptr<delivery_store> store_;
    // Joinable: each is waited for before it goes; empty when not running.
    std::unique_ptr<timer_thread> timer_;
    std::unique_ptr<process_messages_thread> process_messages_;
    std::unique_ptr<telemetry_thread> telemetry_;
    std::optional<std::uint16_t> telemetry_port_; // while telemetry was switched on at start
    std::set<wxString> ended_workers_;            // by name, until started again
    wxTimer restart_timer_;
    bool stopped_ = false;
};
