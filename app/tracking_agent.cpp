#include "app/tracking_agent.hpp"

#include <algorithm>
#include <utility>

#include <curl/curl.h>
#include <wx/arrstr.h>
#include <wx/intl.h>
#include <wx/utils.h>
#include <wx/versioninfo.h>

#include "app/diagnostics.hpp"
#include "app/platform.hpp"
#include "app/resolved_settings.hpp"
#include "app/settings_file.hpp"
#include "app/status_texts.hpp"
#include "coordinates/timer_thread.hpp"
#include "delivery/delivery_store.hpp"
#include "delivery/process_messages_thread.hpp"
#include "log/log_cleanup.hpp"
#include "log/log_files.hpp"
#include "log/log_rows.hpp"
#include "log/running_log.hpp"
#include "telemetry/telemetry_thread.hpp"

namespace {
// How soon a policy change reaches a running agent.
constexpr int policy_period_ms = 60 * 1000;
// How long after a read that saw a change the read that confirms it comes: long enough for Group
// Policy to write the values of a key it has just emptied.
constexpr int policy_confirm_ms = 2000;
// How soon a worker that is down is started again.
constexpr int restart_delay_ms = 60 * 1000;

// The toolkit's own call for this lives in its GUI library.
wxString toolkit_version()
{
    return wxVersionInfo("wxWidgets", wxMAJOR_VERSION, wxMINOR_VERSION, wxRELEASE_NUMBER).GetVersionString();
}

template <class Worker> void stop_and_drop(std::unique_ptr<Worker>& worker)
{
    if (!worker)
        return;
    worker->stop();
    worker.reset();
}

void log_address_rows(const resolved_settings& in_force, bool sender_first)
{
    const wxString service = wxString::Format(_("Service address: %s"), in_force.sender.tracking_server_address);
    const wxString coordinates = wxString::Format(_("Coordinate server: %s:%s"), in_force.poller.address,
                                                  wxString::Format("%u", unsigned{in_force.poller.port}));
    log_info(sender_first ? service : coordinates);
    log_info(sender_first ? coordinates : service);
}
}

tracking_agent::tracking_agent(const agent_folders& folders, poll_timing timing)
    : folders_(folders), policy_(platform::policy_value), timing_(timing)
{
    Bind(EVT_STATUS_TEXT, &tracking_agent::on_status, this);
    Bind(EVT_WORKER_FACT, &tracking_agent::on_fact, this);
    Bind(EVT_LOG_INFO, [](wxThreadEvent& event) { log_info(event.GetString()); });
    Bind(EVT_LOG_ERROR, [](wxThreadEvent& event) { log_error(event.GetString()); });

    log_ = std::make_unique<running_log>(prepare_log_file(folders_.log));
    log_cleanup_ = std::make_unique<log_cleanup>(folders_.log, [this] { return log_->page().current_file(); });

    const std::vector<wxString> moved = move_former_files(folders_);
    if (!moved.empty())
        log_info(wxString::Format(_("Moved to the local profile: %s"), wxJoin(wxArrayString(moved.size(), moved.data()), ',')));
    if (!create_settings_folder(settings_file()))
        log_error(wxString::Format(_("Error creating config dir [%s]"), folders_.settings));
    write_start_rows();
    read_presets();
    report_policy(managed_policy(), true);
    open_config();
    restore_outbox();
}

tracking_agent::~tracking_agent()
{
    stop();
}

void tracking_agent::subscribe(agent_view* view)
{
    views_.push_back(view);
    view->show_policy(policy_.in_force());
}

void tracking_agent::unsubscribe(agent_view* view)
{
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void tracking_agent::start()
{
    // The watcher needs a running main loop on some platforms: armed from the loop's first turn.
    CallAfter(&tracking_agent::watch_config_folder);
    const resolved_settings in_force = resolved();
    if (in_force.telemetry.enabled)
        telemetry_port_ = in_force.telemetry.port;
    events_.started(ROUTEWARDEN_VERSION, in_force.poller.device);
    log_address_rows(in_force, false);
    start_poller(in_force);
    start_sender(in_force);
    if (telemetry_port_)
        start_telemetry(*telemetry_port_);
    policy_timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { on_minute(); });
    policy_timer_.Start(policy_period_ms);
    policy_confirm_timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { confirm_policy(); });
    restart_timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { restart_ended_workers(); });
    show_tracking(); // the views, made before, see the device ID in force at once
}

void tracking_agent::stop()
{
    if (std::exchange(stopped_, true))
        return;
    policy_timer_.Stop();
    policy_confirm_timer_.Stop();
    restart_timer_.Stop();
    stop_and_drop(process_messages_);
    stop_and_drop(timer_);
    stop_and_drop(telemetry_);
    if (store_)
        store_->close_outbox();
    if (watcher_)
        watcher_->RemoveAll();
    config_->Flush();
    events_.ended();
}

void tracking_agent::on_status(wxThreadEvent& event)
{
    const status_fact fact = status_of(event);
    const status_field field =
        std::holds_alternative<delivery_counts>(fact) ? status_field::delivery : status_field::coordinates;
    const wxString text = std::visit([](const auto& status) { return status_text(status); }, fact);
    for (agent_view* view : views_)
        view->show_status(field, text);
}

void tracking_agent::on_fact(wxThreadEvent& event)
{
    const worker_fact fact = fact_of(event);
    if (fact.what == worker_fact::kind::worker_ended) {
        log_error(wxString::Format(_("Worker %s ended: %s"), fact.worker,
                                   fact.text.empty() ? _("Unknown exception") : fact.text));
        worker_down(fact.worker);
        return;
    }
    track(fact);
}

void tracking_agent::track(const worker_fact& fact)
{
    tracking_.take(fact, wxDateTime::Now());
    const auto now = event_reports::clock::now();
    if (fact.what == worker_fact::kind::delivered)
        events_.delivered(now);
    events_.waiting(static_cast<long>(tracking_.waiting()), now);
    if (fact.what == worker_fact::kind::memory_only)
        events_.memory_only(fact.count != 0);
    show_tracking();
}

void tracking_agent::show_tracking()
{
    for (agent_view* view : views_)
        view->show_tracking(tracking_);
}

void tracking_agent::write_start_rows()
{
    log_info(toolkit_version());
    log_info(curl_version());
    log_info(wxString::Format("%s (%s)", wxGetHostName(), wxGetOsDescription()));
}

void tracking_agent::read_presets()
{
    preset_defaults presets = apply_presets(platform::machine_preset);
    for (const wxString& row : presets.refused)
        log_error(row);
    defaults_ = std::move(presets.defaults);
    preset_refusals_ = std::move(presets.refused);
}

void tracking_agent::open_config()
{
    settings_found found = settings_found::whole;
    const wxFileName file = settings_file();
    config_ = open_settings(file, defaults_, &found);
    if (found == settings_found::damaged_copy_used)
        log_error(wxString::Format(_("Settings file [%s] is damaged: its last good copy is used"), file.GetFullPath()));
    else if (found == settings_found::damaged_no_copy)
        log_error(wxString::Format(_("Settings file [%s] is damaged: the presets and built-in values are used"),
                                   file.GetFullPath()));
    config_time_ = platform::modification_time(file);
}

void tracking_agent::watch_config_folder()
{
    const wxFileName folder = wxFileName::DirName(folders_.settings);
    if (stopped_ || !folder.DirExists())
        return;
    watcher_ = std::make_unique<wxFileSystemWatcher>();
    watcher_->SetOwner(this);
    Bind(wxEVT_FSWATCHER, [this](wxFileSystemWatcherEvent&) { apply_config_change(); });
    // Editors that save by writing a new file and renaming it over the old one modify nothing in
    // place: creation and renaming count too. The modification time decides in every case.
    watcher_->Add(folder, wxFSW_EVENT_MODIFY | wxFSW_EVENT_CREATE | wxFSW_EVENT_RENAME);
    // A change made before the watch existed.
    apply_config_change();
}

void tracking_agent::apply_config_change()
{
    if (!settings_file_changed(settings_file(), config_time_))
        return;
    log_info(_("Configuration changed"));
    open_config();
    check_policy();
    reload_workers(resolved());
}

void tracking_agent::on_minute()
{
    check_policy();
    events_.tick(event_reports::clock::now());
    events_.log_unwritable(!log_->page().file_writable());
}

void tracking_agent::check_policy()
{
    if (policy_.check())
        policy_confirm_timer_.StartOnce(policy_confirm_ms);
}

void tracking_agent::confirm_policy()
{
    const std::optional<managed_policy> replaced = policy_.confirm();
    if (!replaced || !report_policy(*replaced, false))
        return;
    reload_workers(resolved());
    for (agent_view* view : views_)
        view->show_policy(policy_.in_force());
}

bool tracking_agent::report_policy(const managed_policy& before, bool at_start)
{
    const managed_policy& now = policy_.in_force();
    const bool changed = now.values != before.values;
    if (changed && !at_start)
        log_info(_("Policy changed"));
    for (const wxString& row : now.refused)
        if (std::find(before.refused.begin(), before.refused.end(), row) == before.refused.end())
            log_error(row);
    events_.policy_refused(now.refused);
    if (!now.values.empty() && now.keys() != before.keys())
        log_info(wxString::Format(_("Set by your administrator: %s"), now.keys()));
    return changed;
}

resolved_settings tracking_agent::resolved()
{
    resolved_settings in_force = resolve_settings(policy_.in_force(), *config_, defaults_);
    tracking_.set_no_device(in_force.poller.device.empty());
    for (const wxString& row : in_force.refused)
        if (std::find(file_refusals_.begin(), file_refusals_.end(), row) == file_refusals_.end())
            log_error(row);
    file_refusals_ = in_force.refused;
    return in_force;
}

void tracking_agent::save_diagnostics(const wxString& folder)
{
    diagnostics_content content = diagnostics_for(folders_, policy_.in_force(), preset_refusals_, *config_, defaults_);
    content.current_log = log_->page().current_file();
    content.outbox = outbox_state{store_->messages().size(), store_->durable()};
    const diagnostics_outcome outcome = ::save_diagnostics(folder, content, wxDateTime::Now());
    if (outcome.failure.empty())
        log_info(wxString::Format(_("Diagnostics saved: %s"), outcome.zip.GetFullPath()));
    else
        log_error(wxString::Format(_("Diagnostics could not be saved: %s"), outcome.failure));
}

void tracking_agent::restore_outbox()
{
    store_ = std::make_unique<delivery_store>(this, folders_.delivery);
    const outbox_opening opening = store_->open_outbox();
    if (!opening.failure.empty())
        log_error(opening.failure);
    if (opening.stale > 0)
        log_info(stale_row(opening.stale));
    if (opening.restored > 0)
        log_info(restored_row(opening.restored));
    // Counted from the start, not from the first poll cycle's hand-off.
    tracking_.take({worker_fact::kind::waiting, opening.restored}, wxDateTime::Now());
}

template <class Worker> void tracking_agent::run_or_report(std::unique_ptr<Worker>& worker)
{
    if (worker->Run() == wxTHREAD_NO_ERROR)
        return;
    log_error(wxString::Format(_("Worker %s could not be started"), worker->name()));
    worker_down(worker->name());
    worker.reset();
}

void tracking_agent::worker_down(const wxString& name)
{
    ended_workers_.insert(name);
    tracking_.set_workers_down(ended_workers_.size());
    show_tracking();
    if (!restart_timer_.IsRunning())
        restart_timer_.StartOnce(restart_delay_ms);
}

template <class Worker, class Start>
void tracking_agent::restart_ended(std::unique_ptr<Worker>& worker, const std::set<wxString>& ended, Start start)
{
    if (worker && worker->IsAlive()) {
        if (ended.count(worker->name()) > 0)
            worker_down(worker->name()); // still leaving its thread: the next turn
        return;
    }
    stop_and_drop(worker); // joins the thread the worker left
    start();
}

void tracking_agent::restart_ended_workers()
{
    const resolved_settings in_force = resolved();
    const std::set<wxString> ended = std::exchange(ended_workers_, {});
    restart_ended(timer_, ended, [&] { start_poller(in_force); });
    restart_ended(process_messages_, ended, [&] { start_sender(in_force); });
    if (telemetry_port_)
        restart_ended(telemetry_, ended, [&] { start_telemetry(*telemetry_port_); });
    tracking_.set_workers_down(ended_workers_.size());
    show_tracking();
}

void tracking_agent::start_poller(const resolved_settings& in_force)
{
    timer_ = std::make_unique<timer_thread>(this, *store_, timing_);
    timer_->configure(in_force.poller);
    run_or_report(timer_);
}

void tracking_agent::start_sender(const resolved_settings& in_force)
{
    process_messages_ = std::make_unique<process_messages_thread>(this, *store_);
    process_messages_->configure(in_force.sender);
    run_or_report(process_messages_);
}

void tracking_agent::start_telemetry(std::uint16_t port)
{
    telemetry_ = std::make_unique<telemetry_thread>(this);
    telemetry_->set_port(port);
    run_or_report(telemetry_);
}

void tracking_agent::reload_workers(const resolved_settings& in_force)
{
    show_tracking(); // the device ID may have come or gone
    log_address_rows(in_force, true);
    if (process_messages_)
        process_messages_->configure(in_force.sender);
    if (timer_)
        timer_->configure(in_force.poller);
}
