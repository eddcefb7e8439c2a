#pragma once
// Everything that differs between the target platforms, behind one small interface.
#include <cstdint>
#include <variant>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/string.h>

class wxIcon;

// A value stored for the whole machine as the platform keeps it: none, a text, a number, or a value
// of another type (on Windows: REG_SZ or REG_EXPAND_SZ, REG_DWORD, any other).
struct other_value {};
using machine_value = std::variant<std::monostate, wxString, std::uint32_t, other_value>;

namespace platform {

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

// From now on such a request ends the process at once with the exit code. For the boxes of a
// start that ends anyway, whose button leads to that end: there is no window to close.
void exit_on_termination_request(int code);

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

}
