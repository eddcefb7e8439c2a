#pragma once
// Everything that differs between the target platforms, behind one small interface.
#include <cstdint>
#include <variant>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/string.h>

#ifdef __WINDOWS__
#include <wx/snglinst.h>
#endif

class wxIcon;

// A value stored for the whole machine as the platform keeps it: none, a text, a number, or a value
// of another type (on Windows: REG_SZ or REG_EXPAND_SZ, REG_DWORD, any other).
struct other_value {};
using machine_value = std::variant<std::monostate, wxString, std::uint32_t, other_value>;

namespace platform {

// The folder the agent's files live under: on Windows the local profile (USERPROFILE), never a home
// folder on a file server that an offline vehicle cannot reach; elsewhere the home folder.
wxString user_files_folder();
// Where earlier versions kept them, when that differs: on Windows the toolkit's home folder (HOME,
// else HOMEDRIVE and HOMEPATH); empty elsewhere.
wxString former_user_files_folder();

// Narrow texts (exception descriptions among them) are converted with the user's character
// encoding rather than plain ASCII; only the character type is taken from the environment, so
// numbers keep their usual form.
void use_system_text_encoding();

// Ends the process at once with the exit code, without any clean-up.
[[noreturn]] void exit_immediately(int code);

// The file's last modification time, to the millisecond where the file system keeps it, so that
// two saves within one second still differ; invalid when the file cannot be examined.
wxDateTime modification_time(const wxFileName& file);

// Runs handler on the main thread, from the main loop, when the process is asked to end by the
// system (on POSIX: SIGTERM, SIGINT, SIGHUP). Needs the application object.
void on_termination_request(void (*handler)());

// The preset for a settings key that the installer stored for the whole machine: on Windows the
// value of HKLM\SOFTWARE\Quillbank\routewarden (64-bit view) named as the key. Other platforms
// have no presets.
machine_value machine_preset(const char* key);

// The administrator's policy for a settings key, which wins for every user: on Windows the value of
// HKLM\SOFTWARE\Policies\Quillbank\Routewarden (64-bit view) named as the key. Other platforms
// have no policy.
machine_value policy_value(const char* key);

// The version of the installed product, as the system's list of installed programs gives it: on
// Windows the DisplayVersion of the entry whose DisplayName is "Routewarden" under
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall (64-bit view). Empty when none is
// installed, and always on other platforms.
wxString installed_version();

// Asks the system to start the program again after an installer closed it to replace its files
// (on Windows the Restart Manager, which closes it as at the end of the session). Not after a
// crash, a hang or a reboot: a start at sign-in comes from the machine's Run value anyway.
void restart_after_update();

// From now on such a request ends the process at once with the exit code. For the boxes of a
// start that ends anyway, whose button leads to that end: there is no window to close.
void exit_on_termination_request(int code);

// One running copy per user. On Windows the toolkit's named mutex; elsewhere a lock (flock) on the
// file the toolkit's checker used, "<home>/routewarden-<user>": the system lets it go when the
// process ends, however it ends, so a file left by a power cut stops nothing.
class single_instance {
public:
    single_instance() = default;
    single_instance(const single_instance&) = delete;
    single_instance& operator=(const single_instance&) = delete;
    ~single_instance();

    // Takes the lock when it is free; true when another copy holds it.
    bool another_running();

private:
#ifdef __WINDOWS__
    wxSingleInstanceChecker checker_;
#else
    int file_ = -1;
#endif
};

// The toolkit's tray icon class, whose set_icon also takes an icon that the shell shows on its own:
// Windows' shell adds it again by itself when its taskbar is made anew, even after the toolkit's
// add failed. The toolkit does not note that, and its every later add would fail as a duplicate.
template <class Toolkit_icon> class tray_icon : public Toolkit_icon {
protected:
    // IsIconInstalled() tells whether it worked.
    void set_icon(const wxIcon& picture, const wxString& tooltip)
    {
        if (this->SetIcon(picture, tooltip) || this->IsIconInstalled())
            return;
#ifdef __WXMSW__
        this->m_iconAdded = true; // the next set changes the icon rather than adding it
        if (!this->SetIcon(picture, tooltip))
            this->m_iconAdded = false;
#endif
    }
};

// The events the agent writes to the system's log, numbered as the executable's message table
// (app/routewarden_events.mc) numbers them, which also gives each its level. Fleet monitoring
// filters by these numbers: a number never changes its meaning.
enum class event_id : std::uint16_t {
    started = 1000,
    ended = 1001,
    policy_refused = 2000,
    delivery_stalled = 3000,
    delivery_resumed = 3001,
    memory_only = 3002,
    outbox_used_again = 3003,
    log_unwritable = 3004,
};

// Writes the event with the text, in the user's language, as its one insertion: on Windows to the
// Application log under the source "Routewarden" that the installer registers; elsewhere nothing.
// From any thread. A failure is silent: it must never lead to a row, which could lead to an event.
void write_event(event_id id, const wxString& text);

// The agents of every session, for an installer that replaces the program while users are signed
// in (Windows; elsewhere each says it is not supported). Each gives an empty text when it did
// all it was asked, else one line saying what it could not do.

// Asks every running agent of every session, other than this process, to end the orderly way (the
// handler of on_termination_request), waits up to limit_seconds for them, and adds the sessions
// whose agents ended to a note for start_in_noted_sessions, which an installer runs once the new
// program is in place.
wxString close_all_agents(int limit_seconds);

// Starts this program in each noted session where no agent runs, as that session's user, and
// forgets the sessions.
wxString start_in_noted_sessions();

}
