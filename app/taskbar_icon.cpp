#include "app/taskbar_icon.hpp"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/menu.h>

#include "app/globe_icon.hpp"

namespace {
enum menu_id { id_log = 3, id_setup = 4, id_exit = 5 };

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
    EVT_MENU(id_setup, taskbar_icon::on_setup)
    EVT_MENU(id_exit, taskbar_icon::on_exit)
wxEND_EVENT_TABLE()
// clang-format on

taskbar_icon::taskbar_icon(const wxString& tooltip, tray_commands commands)
    : commands_(std::move(commands)), tooltip_(tooltip)
{
    set_icon(globe_icon(false), tooltip);
}

taskbar_icon::~taskbar_icon()
{
    RemoveIcon();
}

bool taskbar_icon::show_state(bool failing, const wxString& tooltip)
{
    // Every cycle reports; the icon is set again when it would look different, or while it is
    // not docked: at sign-in the shell may not take it yet.
    const bool was_docked = IsIconInstalled();
    if (was_docked && failing == failing_ && tooltip == tooltip_)
        return false;
    failing_ = failing;
    tooltip_ = tooltip;
    set_icon(globe_icon(failing), tooltip);
    return IsIconInstalled() != was_docked;
}

wxMenu* taskbar_icon::CreatePopupMenu()
{
    auto* menu = new wxMenu;
    // The mark is set here, not by an update-UI handler: not every platform sends the menu's
    // update events to the icon. The menu is made anew for every popup, so it is always current.
    menu->AppendCheckItem(id_log, _("Log"))->Check(commands_.log_shown());
    menu->Append(id_setup, _("Setup"));
    menu->Append(id_exit, _("Exit"));
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
