#include "app/platform.hpp"

#include <clocale>
#include <cstdlib>

#include <wx/app.h>

#ifdef __WINDOWS__
#include <wx/log.h>
#include <wx/msw/registry.h>
#include <wx/utils.h>
#include <wx/msw/wrapwin.h>
#endif

#ifndef __WINDOWS__
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/utils.h>
#endif

namespace platform {

void exit_immediately(int code)
{
    std::_Exit(code);
}

void use_system_text_encoding()
{
    // The C library starts in the "C" locale, in which only ASCII converts (on Windows too, where
    // the user's encoding is the ANSI code page); the toolkit leaves it so.
    std::setlocale(LC_CTYPE, "");
}

#ifdef __WINDOWS__

wxString user_files_folder()
{
    wxString profile;
    if (wxGetEnv("USERPROFILE", &profile) && wxFileName::DirExists(profile))
        return profile;
    return wxFileName::GetHomeDir();
}

wxString former_user_files_folder()
{
    const wxString home = wxFileName::GetHomeDir();
    return wxFileName::DirName(home).SameAs(wxFileName::DirName(user_files_folder())) ? wxString() : home;
}

wxDateTime modification_time(const wxFileName& file)
{
    return file.GetModificationTime();
}

namespace {
machine_value machine_registry_value(const wxString& path, const char* name)
{
    const wxLogNull a_missing_key_or_value_is_no_value;
    const wxRegKey key(wxRegKey::HKLM, path, wxRegKey::WOW64ViewMode_64);
    if (!key.Exists() || !key.HasValue(name))
        return {};
    switch (key.GetValueType(name)) {
    case wxRegKey::Type_String:
    case wxRegKey::Type_Expand_String: {
        wxString text;
        if (key.QueryValue(name, text))
            return text;
        return {};
    }
    case wxRegKey::Type_Dword: {
        long number = 0;
        if (key.QueryValue(name, &number))
            return static_cast<std::uint32_t>(number);
        return {};
    }
    default:
        return other_value{};
    }
}
}

machine_value machine_preset(const char* key)
{
    return machine_registry_value("SOFTWARE\\Quillbank\\routewarden", key);
}

machine_value policy_value(const char* key)
{
    return machine_registry_value("SOFTWARE\\Policies\\Quillbank\\Routewarden", key);
}

wxString installed_version()
{
    const wxLogNull a_missing_key_or_value_is_no_product;
    wxRegKey products(wxRegKey::HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                      wxRegKey::WOW64ViewMode_64);
    wxString name;
    long index = 0;
    for (bool more = products.GetFirstKey(name, index); more; more = products.GetNextKey(name, index)) {
        const wxRegKey product(products, name); // in the parent's view
        wxString shown, version;
        if (product.QueryValue("DisplayName", shown) && shown == "Routewarden" &&
            product.QueryValue("DisplayVersion", version))
            return version;
    }
    return {};
}

single_instance::~single_instance() = default;

bool single_instance::another_running()
{
    return checker_.IsAnotherRunning();
}

void restart_after_update()
{
    // Without arguments: the agent takes none. A failure costs only the restart after an update.
    RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

#else

wxString user_files_folder()
{
    return wxFileName::GetHomeDir();
}

wxString former_user_files_folder()
{
    return {};
}

wxDateTime modification_time(const wxFileName& file)
{
    struct stat status {};
    if (stat(file.GetFullPath().fn_str(), &status) != 0)
        return wxDateTime();
    return wxDateTime(wxLongLong(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000);
}

namespace {
constexpr int termination_signals[] = {SIGTERM, SIGINT, SIGHUP};
void (*termination_handler)() = nullptr;
volatile std::sig_atomic_t exit_code = 0;

extern "C" void exit_on_signal(int)
{
    std::_Exit(exit_code);  // safe in a signal handler
}

// Called by the library from the main loop, not in signal context: the library's own signal
// handler only records the signal and wakes the loop through a pipe.
void on_signal(int)
{
    // Run from an ordinary event, so that the idle processing that destroys closed windows follows.
    wxAppConsole::GetInstance()->CallAfter(termination_handler);
}
}

machine_value machine_preset(const char*)
{
    return {};
}

machine_value policy_value(const char*)
{
    return {};
}

wxString installed_version()
{
    return {};
}

single_instance::~single_instance()
{
    if (file_ >= 0)
        ::close(file_);  // the lock goes with it; the file stays for the next copy
}

bool single_instance::another_running()
{
    if (file_ < 0) {
        const wxString name = wxAppConsole::GetInstance()->GetAppName() + "-" + wxGetUserId();
        const wxString path = wxGetHomeDir() + "/" + name;
        file_ = ::open(path.fn_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (file_ < 0)
            return false; // a home that takes no file stops no copy, as the checker did
    }
    return ::flock(file_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

void restart_after_update()
{
    // Package managers here restart nothing: the session's autostart starts the agent.
}

void on_termination_request(void (*handler)())
{
    termination_handler = handler;
    for (int signal : termination_signals)
        wxAppConsole::GetInstance()->SetSignalHandler(signal, on_signal);
}

void exit_on_termination_request(int code)
{
    // In signal context, not through the library: a box of a failed start may run before the main
    // loop or in a loop of the toolkit's own, and there is no window for a handler to close.
    exit_code = code;
    struct sigaction action {};
    action.sa_handler = exit_on_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : termination_signals)
        sigaction(signal, &action, nullptr);
}

#endif

}
