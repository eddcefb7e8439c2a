#include "app/routewarden_frame.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include <curl/curl.h>
#include <wx/dirdlg.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "app/diagnostics.hpp"
#include "app/event_reports.hpp"
#include "app/platform.hpp"
#include "app/resolved_settings.hpp"
#include "app/settings_file.hpp"
#include "app/taskbar_icon.hpp"
#include "coordinates/timer_thread.hpp"
#include "delivery/delivery_store.hpp"
#include "delivery/process_messages_thread.hpp"
#include "log/log_cleanup.hpp"
#include "log/log_files.hpp"
#include "log/log_rows.hpp"
#include "log/log_viewer.hpp"
#include "telemetry/telemetry_thread.hpp"
#include "worker_base/thread_events.hpp"

namespace {
enum menu_id { id_setup = 1, id_exit = 2, id_save_diagnostics = 3 };
// How soon a policy change reaches a running agent.
constexpr int policy_period_ms = 60 * 1000;
// How long after a read that saw a change the read that confirms it comes: long enough for Group
// Policy to write the values of a key it has just emptied.
constexpr int policy_confirm_ms = 2000;
// How soon a worker that is down is started again.
constexpr int restart_delay_ms = 60 * 1000;
constexpr int status_field_count = 3;
constexpr long frame_style = wxCAPTION | wxCLOSE_BOX | wxMINIMIZE_BOX | wxRESIZE_BORDER | wxFRAME_NO_TASKBAR;

template <class Worker> void stop_and_drop(std::unique_ptr<Worker>& worker)
{
    if (!worker)
        return;
    worker->stop();
    worker.reset();
}
}

// clang-format off
wxBEGIN_EVENT_TABLE(routewarden_frame, wxFrame)
    EVT_ICONIZE(routewarden_frame::on_iconize)
    EVT_CLOSE(routewarden_frame::on_close)
    EVT_MENU(id_setup, routewarden_frame::on_setup)
    EVT_MENU(id_save_diagnostics, routewarden_frame::on_save_diagnostics)
    EVT_MENU(id_exit, routewarden_frame::on_exit)
wxEND_EVENT_TABLE()
// clang-format on

routewarden_frame::routewarden_frame(const wxString& title, const wxPoint& position, const wxSize& size,
                                     poll_timing timing)
    : wxFrame(nullptr, wxID_ANY, title, position, size, frame_style), policy_(platform::policy_value), timing_(timing)
{
    tray_icon_ = std::make_unique<taskbar_icon>(
        tracking_.tooltip(GetTitle()),
        tray_commands{[this] { return IsShown(); }, [this] { show_and_raise(); }, [this] { Hide(); },
                      [this] { show_options(); }, [this] { exit_program(); }});

    Bind(EVT_LOG_INFO, &routewarden_frame::on_thread_info, this);
    Bind(EVT_LOG_ERROR, &routewarden_frame::on_thread_error, this);
    Bind(EVT_STATUS_TEXT, &routewarden_frame::on_thread_status, this);
    Bind(EVT_TRACKING_REPORT, &routewarden_frame::on_tracking_report, this);

    create_menu_and_status_bar();
    aui_manager_.SetManagedWindow(this);

    log_file_name_ = prepare_log_file();
    create_log_view();
    log_cleanup_ = std::make_unique<log_cleanup>(log_file_name_.GetPath(), [this] { return log_view_->current_file(); });

    create_config_folder();
    CallAfter(&routewarden_frame::watch_config_folder);
    write_start_rows();
    if (!tray_icon_->IsIconInstalled())
        log_tray_icon();
    read_presets();
    report_policy(managed_policy(), true);
    open_config();

    restore_outbox();
    const resolved_settings in_force = resolved();
    if (in_force.telemetry.enabled)
        telemetry_port_ = in_force.telemetry.port;
    start_workers(in_force);
    if (telemetry_port_)
        start_telemetry(*telemetry_port_);
    policy_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &routewarden_frame::on_policy_timer, this, policy_timer_.GetId());
    policy_timer_.Start(policy_period_ms);
    policy_confirm_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &routewarden_frame::on_policy_confirm_timer, this, policy_confirm_timer_.GetId());
    restart_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &routewarden_frame::on_restart_timer, this, restart_timer_.GetId());
}

routewarden_frame::~routewarden_frame()
{
    // Only at the end of the session, which deletes every window wherever the code is: the
    // dialog goes first, as "Exit" would end it first.
    delete open_options_.get();
    stop_workers();
    aui_manager_.UnInit();
    if (watcher_)
        watcher_->RemoveAll();
    config_->Flush();
    tray_icon_.reset();
    event_reports().ended();
}

void routewarden_frame::show_and_raise()
{
    // On Windows a window hidden while minimised would come back minimised.
    Iconize(false);
    Show();
    Raise();
}

void routewarden_frame::show_options()
{
    // The tray icon and a hidden window stay usable while the dialog is open on some platforms.
    if (open_options_) {
        open_options_->Raise();
        return;
    }
    // On the heap: the end of the session may delete it from inside its own loop.
    open_options_ = new routewarden_options(config_, defaults_, policy_.in_force());
    open_options_->ShowModal();
    delete open_options_.get();
    if (close_after_options_)
        Close(true);
}

void routewarden_frame::exit_program()
{
    if (!open_options_) {
        Close(true);
    } else if (!close_after_options_) { // a second request (two signals) finds the dialog ending
        close_after_options_ = true;
        open_options_->EndModal(wxID_CANCEL);
    }
}

void routewarden_frame::create_menu_and_status_bar()
{
    auto* file = new wxMenu;
    file->Append(id_setup, _("Setup"));
    // Wide, so that the ellipsis does not depend on the narrow character encoding.
    file->Append(id_save_diagnostics, _(L"Save diagnostics…"));
    file->Append(id_exit, _("Exit"));
    auto* bar = new wxMenuBar;
    bar->Append(file, _("File"));
    SetMenuBar(bar);
    CreateStatusBar(status_field_count, wxSTB_DEFAULT_STYLE, 0);
    size_status_fields();
}

void routewarden_frame::size_status_fields()
{
    // The counts field holds the widest counts it shows in this language, a space on each side;
    // the position takes the rest, and the field after it stays empty.
    wxString counts = _("Messages in queue: %1% sent: %2%");
    counts.Replace("%1%", wxString::Format("%zu", max_kept_messages));
    counts.Replace("%2%", "99999");
    const wxStatusBar* bar = GetStatusBar();
    const int space = bar->GetTextExtent(" ").x;
    const int widths[status_field_count] = {bar->GetTextExtent(counts).x + 2 * space, -1, space};
    SetStatusWidths(status_field_count, widths);
}

void routewarden_frame::create_log_view()
{
    log_view_ = new log_viewer(this, log_file_name_);
    aui_manager_.AddPane(log_view_, wxAuiPaneInfo().CenterPane().CloseButton(false));
    aui_manager_.Update();
}

void routewarden_frame::create_config_folder()
{
    config_file_ = settings_file_name();
    if (!create_settings_folder(config_file_))
        log_error(escape_html(wxString::Format(_("Error creating config dir [%s]"), config_file_.GetPath())));
}

void routewarden_frame::watch_config_folder()
{
    const wxFileName folder = wxFileName::DirName(config_file_.GetPath());
    if (!folder.DirExists())
        return;
    watcher_ = std::make_unique<wxFileSystemWatcher>();
    watcher_->SetOwner(this);
    Bind(wxEVT_FSWATCHER, &routewarden_frame::on_config_changed, this);
    // Editors that save by writing a new file and renaming it over the old one modify nothing in
    // place: creation and renaming count too. The modification time decides in every case.
    watcher_->Add(folder, wxFSW_EVENT_MODIFY | wxFSW_EVENT_CREATE | wxFSW_EVENT_RENAME);
    apply_config_change();
}

void routewarden_frame::write_start_rows()
{
    log_info(escape_html(wxGetLibraryVersionInfo().GetVersionString()));
    log_info(escape_html(curl_version()));
    log_info(escape_html(wxString::Format("%s (%s)", wxGetHostName(), wxGetOsDescription())));
}

void routewarden_frame::read_presets()
{
    preset_defaults presets = apply_presets(platform::machine_preset);
    for (const wxString& row : presets.refused)
        log_error(escape_html(row));
    defaults_ = std::move(presets.defaults);
    preset_rows_ = std::move(presets.in_force);
}

void routewarden_frame::open_config()
{
    settings_found found = settings_found::whole;
    config_ = open_settings(config_file_, defaults_, &found);
    const wxString path = config_file_.GetFullPath();
    if (found == settings_found::damaged_copy_used)
        log_error(escape_html(wxString::Format(_("Settings file [%s] is damaged: its last good copy is used"), path)));
    else if (found == settings_found::damaged_no_copy)
        log_error(escape_html(
            wxString::Format(_("Settings file [%s] is damaged: the presets and built-in values are used"), path)));
    config_time_ = platform::modification_time(config_file_);
}

void routewarden_frame::on_iconize(wxIconizeEvent& event)
{
    Show(!event.IsIconized());
}

void routewarden_frame::on_close(wxCloseEvent& event)
{
    // The close box of a window shown while the dialog is open: the dialog's loop must end first.
    if (open_options_ && event.CanVeto()) {
        event.Veto();
        exit_program();
        return;
    }
    event.Skip();
}

void routewarden_frame::on_setup(wxCommandEvent&)
{
    show_options();
}

void routewarden_frame::on_save_diagnostics(wxCommandEvent&)
{
    wxString start = wxStandardPaths::Get().GetUserDir(wxStandardPaths::Dir_Desktop);
    if (!wxDirExists(start))
        start = wxGetHomeDir();
    wxDirDialog dialog(this, _("Choose a folder for the diagnostics"), start, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return;
    // The policy's values come first: they win over the presets.
    std::vector<setting_row> values;
    for (const managed_policy::value& value : policy_.in_force().values)
        values.push_back({value.key, value.text, "managed policy"});
    values.insert(values.end(), preset_rows_.begin(), preset_rows_.end());
    const diagnostics_content content{log_view_->current_file(), config_file_, delivery_folder(), values,
                                      store_->messages().size(), store_->durable()};
    const diagnostics_outcome outcome = save_diagnostics(dialog.GetPath(), content, wxDateTime::Now());
    if (outcome.failure.empty())
        log_info(escape_html(wxString::Format(_("Diagnostics saved: %s"), outcome.zip.GetFullPath())));
    else
        log_error(escape_html(wxString::Format(_("Diagnostics could not be saved: %s"), outcome.failure)));
}

void routewarden_frame::on_exit(wxCommandEvent&)
{
    exit_program();
}

void routewarden_frame::on_thread_info(wxThreadEvent& event)
{
    log_info(escape_html(event.GetString()));
}

void routewarden_frame::on_thread_error(wxThreadEvent& event)
{
    log_error(escape_html(event.GetString()));
}

void routewarden_frame::on_thread_status(wxThreadEvent& event)
{
    const int field = event.GetInt();
    if (field >= 0 && field < status_field_count)
        SetStatusText(event.GetString(), field);
}

void routewarden_frame::on_tracking_report(wxThreadEvent& event)
{
    track(static_cast<tracking_report>(event.GetInt()), event.GetExtraLong(), event.GetString());
}

void routewarden_frame::track(tracking_report kind, long number, const wxString& text)
{
    if (kind == tracking_report::worker_ended) {
        worker_down(text);
        return;
    }
    tracking_.take(kind, number, text, wxDateTime::Now());
    if (tray_icon_->show_state(tracking_.failing(), tracking_.tooltip(GetTitle())))
        log_tray_icon();
}

void routewarden_frame::log_tray_icon()
{
    if (tray_icon_->IsIconInstalled())
        log_info(escape_html(_("Tray icon shown")));
    else
        log_error(escape_html(_("Tray icon could not be shown")));
}

void routewarden_frame::on_config_changed(wxFileSystemWatcherEvent&)
{
    apply_config_change();
}

void routewarden_frame::apply_config_change()
{
    if (!settings_file_changed(config_file_, config_time_))
        return;
    log_info(_("Configuration changed"));
    open_config();
    check_policy();
    reload_workers(resolved());
}

void routewarden_frame::on_policy_timer(wxTimerEvent&)
{
    check_policy();
}

void routewarden_frame::check_policy()
{
    if (policy_.check())
        policy_confirm_timer_.StartOnce(policy_confirm_ms);
}

void routewarden_frame::on_policy_confirm_timer(wxTimerEvent&)
{
    const std::optional<managed_policy> replaced = policy_.confirm();
    if (replaced && report_policy(*replaced, false))
        reload_workers(resolved());
}

bool routewarden_frame::report_policy(const managed_policy& before, bool at_start)
{
    const managed_policy& now = policy_.in_force();
    const bool changed = now.values != before.values;
    if (changed && !at_start)
        log_info(escape_html(_("Policy changed")));
    for (const wxString& row : now.refused)
        if (std::find(before.refused.begin(), before.refused.end(), row) == before.refused.end())
            log_error(escape_html(row));
    if (!now.values.empty() && now.keys() != before.keys())
        log_info(escape_html(wxString::Format(_("Set by your administrator: %s"), now.keys())));
    return changed;
}

resolved_settings routewarden_frame::resolved() const
{
    return resolve_settings(policy_.in_force(), *config_, defaults_);
}

void routewarden_frame::restore_outbox()
{
    store_ = std::make_unique<delivery_store>(this);
    const outbox_opening opening = store_->open_outbox();
    if (!opening.failure.empty())
        log_error(escape_html(opening.failure));
    if (opening.stale > 0)
        log_info(escape_html(stale_row(opening.stale)));
    if (opening.restored > 0)
        log_info(escape_html(restored_row(opening.restored)));
    // Counted from the start, not from the first poll cycle's hand-off.
    track(tracking_report::waiting, static_cast<long>(opening.restored));
}

template <class Worker> void routewarden_frame::run_or_report(std::unique_ptr<Worker>& worker)
{
    if (worker->Run() == wxTHREAD_NO_ERROR)
        return;
    log_error(escape_html(wxString::Format(_("Worker %s could not be started"), worker->name())));
    worker_down(worker->name());
    worker.reset();
}

void routewarden_frame::worker_down(const wxString& name)
{
    ended_workers_.insert(name);
    track(tracking_report::workers_down, static_cast<long>(ended_workers_.size()));
    if (!restart_timer_.IsRunning())
        restart_timer_.StartOnce(restart_delay_ms);
}

template <class Worker, class Start>
void routewarden_frame::restart_ended(std::unique_ptr<Worker>& worker, const std::set<wxString>& ended, Start start)
{
    if (worker && worker->IsAlive()) {
        if (ended.count(worker->name()) > 0)
            worker_down(worker->name());
        return;
    }
    stop_and_drop(worker); // joins the thread the worker left
    start();
}

void routewarden_frame::on_restart_timer(wxTimerEvent&)
{
    const resolved_settings in_force = resolved();
    const std::set<wxString> ended = std::exchange(ended_workers_, {});
    restart_ended(timer_, ended, [&] { start_poller(in_force); });
    restart_ended(process_messages_, ended, [&] { start_sender(in_force); });
    if (telemetry_port_)
        restart_ended(telemetry_, ended, [&] { start_telemetry(*telemetry_port_); });
    track(tracking_report::workers_down, static_cast<long>(ended_workers_.size()));
}

void routewarden_frame::start_workers(const resolved_settings& resolved)
{
    start_poller(resolved);
    start_sender(resolved);
}

void routewarden_frame::start_poller(const resolved_settings& resolved)
{
    timer_ = std::make_unique<timer_thread>(this, *store_, timing_);
    timer_->configure(resolved.poller);
    run_or_report(timer_);
}

void routewarden_frame::start_sender(const resolved_settings& resolved)
{
    process_messages_ = std::make_unique<process_messages_thread>(this, *store_);
    process_messages_->configure(resolved.sender);
    run_or_report(process_messages_);
}

void routewarden_frame::start_telemetry(std::uint32_t port)
{
    telemetry_ = std::make_unique<telemetry_thread>(this);
    telemetry_->set_port(port);
    run_or_report(telemetry_);
}

void routewarden_frame::reload_workers(const resolved_settings& resolved)
{
    if (process_messages_)
        process_messages_->configure(resolved.sender);
    if (timer_)
        timer_->configure(resolved.poller);
}

void routewarden_frame::stop_workers()
{
    restart_timer_.Stop();
    stop_and_drop(process_messages_);
    stop_and_drop(timer_);
    stop_and_drop(telemetry_);
    if (store_)
        store_->close_outbox();
}
