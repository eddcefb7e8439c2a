#include "app/taskbar_icon.hpp"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/menu.h>

#include "app/globe_icon.hpp"
#include "log/log_rows.hpp"

namespace {
constexpr int id_log = wxID_HIGHEST + 1;

// The mark: a red square in the bottom right corner, drawn over the same picture at run time.
constexpr int mark_size = 5;

wxIcon globe_icon(bool marked)
{
    wxImage image(globe_xpm);
    if (marked)
        for (int y = image.GetHeight() - mark_size; y < image.GetHeight(); ++y)
            for (int x = image.GetWidth() - mark_size; x < image.GetWidth(); ++x)
                image.SetRGB(x, y, 255, 0, 0);
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(image));
    return icon;
}
}

// clang-format off
wxBEGIN_EVENT_TABLE(taskbar_icon, wxTaskBarIcon)
    EVT_TASKBAR_LEFT_DCLICK(taskbar_icon::on_double_click)
    EVT_MENU(id_log, taskbar_icon::on_log)
    EVT_MENU(wxID_PREFERENCES, taskbar_icon::on_setup)
    EVT_MENU(wxID_EXIT, taskbar_icon::on_exit)
wxEND_EVENT_TABLE()
// clang-format on

taskbar_icon::taskbar_icon(const wxString& title, const tracking_state& state, tray_commands commands)
    : title_(title), commands_(std::move(commands)), tooltip_(state.tooltip(title))
{
    set_icon(globe_icon(false), tooltip_);
    if (!IsIconInstalled())
        log_docked();
}

taskbar_icon::~taskbar_icon()
{
    RemoveIcon();
}

void taskbar_icon::show_tracking(const tracking_state& state)
{
    // Every cycle reports; the icon is set again when it would look different, or while it is
    // not docked: at sign-in the shell may not take it yet.
    const bool was_docked = IsIconInstalled();
    const wxString tooltip = state.tooltip(title_);
    if (was_docked && state.failing() == failing_ && tooltip == tooltip_)
        return;
    failing_ = state.failing();
    tooltip_ = tooltip;
    set_icon(globe_icon(failing_), tooltip_);
    if (IsIconInstalled() != was_docked)
        log_docked();
}

void taskbar_icon::log_docked() const
{
    if (IsIconInstalled())
        log_info(_("Tray icon shown"));
    else
        log_error(_("Tray icon could not be shown"));
}

wxMenu* taskbar_icon::CreatePopupMenu()
{
    auto* menu = new wxMenu;
    // The mark is set here, not by an update-UI handler: not every platform sends the menu's
    // update events to the icon. The menu is made anew for every popup, so it is always current.
    menu->AppendCheckItem(id_log, _("Log"))->Check(commands_.log_shown());
    if (commands_.setup_offered())
        menu->Append(wxID_PREFERENCES, _("Setup"));
    if (commands_.exit_offered())
        menu->Append(wxID_EXIT, _("Exit"));
    return menu;
}

void taskbar_icon::on_double_click(wxTaskBarIconEvent&)
{
    commands_.show_log();
}

void taskbar_icon::on_log(wxCommandEvent&)
{
    if (commands_.log_shown())
        commands_.hide_log();
    else
        commands_.show_log();
}

void taskbar_icon::on_setup(wxCommandEvent&)
{
    commands_.setup();
}

void taskbar_icon::on_exit(wxCommandEvent&)
{
    commands_.exit();
}
