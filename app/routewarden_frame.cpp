#include "app/routewarden_frame.hpp"

#include <wx/dirdlg.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "app/status_texts.hpp"
#include "app/taskbar_icon.hpp"
#include "delivery/delivery_store.hpp"
#include "log/log_viewer.hpp"

namespace {
constexpr int id_save_diagnostics = wxID_HIGHEST + 1;
// Delivery counts, the position, and an empty field after it.
constexpr int status_field_count = 3;
constexpr long frame_style = wxCAPTION | wxCLOSE_BOX | wxMINIMIZE_BOX | wxRESIZE_BORDER | wxFRAME_NO_TASKBAR;
}

routewarden_frame::routewarden_frame(const wxString& title, const wxPoint& position, const wxSize& size,
                                     poll_timing timing)
    : wxFrame(nullptr, wxID_ANY, title, position, size, frame_style),
      agent_(std::make_unique<tracking_agent>(user_folders(), timing))
{
    tray_icon_ = std::make_unique<taskbar_icon>(GetTitle(), agent_->tracking(),
                                                tray_commands{[this] { return IsShown(); },
                                                              [this] { show_and_raise(); }, [this] { Hide(); },
                                                              [this] { show_options(); }, [this] { exit_program(); },
                                                              [this] { return allowed(settings::allow_setup); },
                                                              [this] { return allowed(settings::allow_exit); }});
    create_menu_and_status_bar();
    agent_->subscribe(tray_icon_.get());
    agent_->subscribe(this);
    aui_manager_.SetManagedWindow(this);
    log_view_ = new log_viewer(this, agent_->log());
    aui_manager_.AddPane(log_view_, wxAuiPaneInfo().CenterPane().CloseButton(false));
    aui_manager_.Update();

    Bind(wxEVT_ICONIZE, [this](wxIconizeEvent& event) { Show(!event.IsIconized()); });
    Bind(wxEVT_CLOSE_WINDOW, &routewarden_frame::on_close, this);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { show_options(); }, wxID_PREFERENCES);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { save_diagnostics(); }, id_save_diagnostics);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { exit_program(); }, wxID_EXIT);
    agent_->start();
}

routewarden_frame::~routewarden_frame()
{
    // Only at the end of the session, which deletes every window wherever the code is: the
    // dialog goes first, as "Exit" would end it first.
    delete open_options_.get();
    agent_->unsubscribe(this);
    agent_->unsubscribe(tray_icon_.get());
    agent_->stop();
    aui_manager_.UnInit();
    // Before the agent's log that it shows.
    log_view_->Destroy();
    tray_icon_.reset();
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
    if (!allowed(settings::allow_setup))
        return;
    // The tray icon and a hidden window stay usable while the dialog is open on some platforms.
    if (open_options_) {
        open_options_->Raise();
        return;
    }
    // On the heap: the end of the session may delete it from inside its own loop.
    open_options_ =
        new routewarden_options(agent_->config(), agent_->defaults(), agent_->policy(), agent_->settings_file());
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
    file_menu_ = new wxMenu;
    auto* bar = new wxMenuBar;
    bar->Append(file_menu_, _("File"));
    SetMenuBar(bar);
    CreateStatusBar(status_field_count, wxSTB_DEFAULT_STYLE, 0);
    // The counts field holds the widest counts it shows in this language, a space on each side;
    // the position takes the rest.
    const wxStatusBar* status_bar = GetStatusBar();
    const int space = status_bar->GetTextExtent(" ").x;
    const wxString widest = status_text(delivery_counts{max_kept_messages, 99999});
    const int widths[status_field_count] = {status_bar->GetTextExtent(widest).x + 2 * space, -1, space};
    SetStatusWidths(status_field_count, widths);
}

void routewarden_frame::show_policy(const managed_policy& policy)
{
    while (file_menu_->GetMenuItemCount() > 0)
        file_menu_->Destroy(file_menu_->FindItemByPosition(0));
    if (policy.allows(settings::allow_setup))
        file_menu_->Append(wxID_PREFERENCES, _("Setup"));
    // Wide, so that the ellipsis does not depend on the narrow character encoding.
    file_menu_->Append(id_save_diagnostics, _(L"Save diagnostics…"));
    if (policy.allows(settings::allow_exit))
        file_menu_->Append(wxID_EXIT, _("Exit"));
}

void routewarden_frame::show_status(status_field field, const wxString& text)
{
    SetStatusText(text, field == status_field::delivery ? 0 : 1);
}

void routewarden_frame::on_close(wxCloseEvent& event)
{
    if (event.CanVeto() && !allowed(settings::allow_exit)) { // the driver may not end tracking
        event.Veto();
        Hide();
        return;
    }
    // The close box of a window shown while the dialog is open: the dialog's loop must end first.
    if (open_options_ && event.CanVeto()) {
        event.Veto();
        exit_program();
        return;
    }
    event.Skip();
}

void routewarden_frame::save_diagnostics()
{
    wxString start = wxStandardPaths::Get().GetUserDir(wxStandardPaths::Dir_Desktop);
    if (!wxDirExists(start))
        start = wxGetHomeDir();
    wxDirDialog dialog(this, _("Choose a folder for the diagnostics"), start, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK)
        agent_->save_diagnostics(dialog.GetPath());
}
