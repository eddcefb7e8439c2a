#include "app/application.hpp"

#include <exception>

#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/stdpaths.h>
#include <wx/thread.h>
#include <wx/toplevel.h>
#include <wx/translation.h>

#include "app/command_line.hpp"
#include "app/platform.hpp"
#include "app/routewarden_frame.hpp"
#include "log/foreign_text.hpp"
#include "log/log_rows.hpp"

wxWeakRef<routewarden_frame> main_frame;

namespace {
void close_main_window()
{
    if (main_frame && !main_frame->IsBeingDeleted())
        main_frame->exit_program();
}

void show_unhandled_exception()
{
    wxMessageBox(_("Unhandled exception"), _("Error"), wxOK | wxCENTRE);
}

// What the library's entry returns when OnInit fails.
constexpr int refused_start_code = -1;
constexpr int failed_start_code = 1;

// The box of a start that ends with code once it is closed; a termination request while it is
// up ends the process with the same code.
void show_final_box(const wxString& text, const wxString& caption, int code)
{
    platform::exit_on_termination_request(code);
    wxMessageBox(text, caption, wxOK | wxICON_ERROR);
}
}

bool routewarden::OnInit()
{
    if (const auto code = run_command(argv.GetArguments()))
        platform::exit_immediately(*code); // an installer's command, done without a window
    // First, so that a request during start-up is not lost: it is handled once the loop runs.
    platform::on_termination_request(close_main_window);
    platform::use_system_text_encoding();

    // The translations follow the system's language. A default wxLocale would not set them up,
    // so the translations object is made here; it lives until the process ends.
    auto* translations = new wxTranslations;
    wxTranslations::Set(translations);
    const wxFileName executable(wxStandardPaths::Get().GetExecutablePath());
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(executable.GetPath(wxPATH_GET_VOLUME));
    // The catalogue's message identifiers are English.
    translations->AddCatalog("routewarden", wxLANGUAGE_ENGLISH_US);
    // No box on an unattended screen before the running log takes the library's messages as rows.
    delete wxLog::SetActiveTarget(new wxLogStderr);

    if (checker.another_running()) {
        show_final_box(_("Program already running"), _("Routewarden"), refused_start_code);
        return false;
    }

    routewarden_frame* frame = nullptr;
    try {
#if wxUSE_ON_FATAL_EXCEPTION // not in MinGW builds, which have no structured exception handling
        wxHandleFatalExceptions(false);
#endif
        frame = new routewarden_frame(_("Routewarden"), wxDefaultPosition, wxSize(800, 600));
    } catch (const std::exception& error) {
        show_final_box(foreign_text(error.what()), "C++ exception", failed_start_code);
        platform::exit_immediately(failed_start_code);
    } catch (...) {
        show_final_box(_("Program will be stopped"), _("Unknown exception"), failed_start_code);
        platform::exit_immediately(failed_start_code);
    }
    main_frame = frame;
    SetTopWindow(frame);
    // Only the copy that runs: one refused as a second copy or failed at start is not restarted.
    platform::restart_after_update();
    return true;
}

void routewarden::OnFatalException()
{
    wxMessageBox(_("Fatal exception"), _("Error"), wxOK | wxCENTRE);
}

void routewarden::OnUnhandledException()
{
    // Called on a worker's thread when the exception left a worker; dialogs belong to the main thread.
    if (wxThread::IsMain())
        show_unhandled_exception();
    else
        CallAfter(&show_unhandled_exception);
}

bool routewarden::OnExceptionInMainLoop()
{
    try {
        throw;
    } catch (const std::exception& error) {
        log_error(foreign_text(error.what()));
    } catch (...) {
        log_error(_("Unknown exception"));
    }
    return true;
}

int routewarden::FilterEvent(wxEvent& event)
{
    // At the end of the Windows session each window is asked first (WM_QUERYENDSESSION). The
    // library would close the main window for it, which the filter below refuses for a hidden
    // one, and a refusal cancels the shutdown. Every window agrees and nothing closes yet:
    // another program's refusal lets the session go on. When it does end (WM_ENDSESSION), the
    // library deletes every window at once, the main window's destructor being the orderly
    // shutdown, and exits with code 0 before the system ends the process.
    if (event.GetEventType() == wxEVT_QUERY_END_SESSION)
        return Event_Processed;
    // A close request to a hidden window comes from the system, not the user: on Windows,
    // taskkill and the like send one to each of the program's windows, the tray icon's own among
    // them, which must not be destroyed under the icon. It ends the program the orderly way
    // instead. The program's own closes are forced and pass through.
    if (event.GetEventType() == wxEVT_CLOSE_WINDOW) {
        auto& close = static_cast<wxCloseEvent&>(event);
        const auto* window = wxDynamicCast(close.GetEventObject(), wxTopLevelWindow);
        if (close.CanVeto() && window && !window->IsShown()) {
            close.Veto();
            CallAfter(&close_main_window);
            return Event_Processed;
        }
    }
    return wxApp::FilterEvent(event);
}
