#pragma once
// The application object: translations, the one-copy-per-user guard, the guarded creation of the
// main window, and what becomes of exceptions that escape.
#include <wx/app.h>

#include "app/platform.hpp"

class routewarden : public wxApp {
public:
    bool OnInit() override;
    void OnFatalException() override;
    void OnUnhandledException() override;
    bool OnExceptionInMainLoop() override;
    int FilterEvent(wxEvent& event) override;

private:
    platform::single_instance checker;
};

wxDECLARE_APP(routewarden);
