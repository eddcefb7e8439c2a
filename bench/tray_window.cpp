// The scale for the agent's idle footprint: a toolkit window, hidden, with a tray icon, and
// nothing else (bench/idle-footprint).
#include <memory>

#include <wx/app.h>
#include <wx/bmpbndl.h>
#include <wx/frame.h>
#include <wx/icon.h>
#include <wx/taskbar.h>

#include "app/globe_icon.hpp"

namespace {
class tray_window_app : public wxApp {
public:
    bool OnInit() override
    {
        new wxFrame(nullptr, wxID_ANY, "tray_window"); // hidden; keeps the main loop running
        icon_ = std::make_unique<wxTaskBarIcon>();
        icon_->SetIcon(wxIcon(globe_xpm), "tray_window");
        return true;
    }
    int OnExit() override
    {
        icon_.reset();
        return 0;
    }

private:
    std::unique_ptr<wxTaskBarIcon> icon_;
};
}

wxIMPLEMENT_APP(tray_window_app);
