// The agents of every session and the installer: a machine-wide close request that each agent
// waits for, the command that sends it, and the start of the new program in the sessions it
// closed. On Windows an installer runs as the system account in a session of its own, where
// neither window messages nor the Restart Manager reach the agents of the signed-in users.
#include "app/platform.hpp"

#ifdef __WINDOWS__
#include <cwchar>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>
#include <wx/stdpaths.h>

#include <sddl.h>
#include <tlhelp32.h>
#include <userenv.h>
#include <wtsapi32.h>
#endif

namespace platform {

#ifdef __WINDOWS__

namespace {
// A manual-reset event in the namespace that all sessions share: set, it asks every agent to end.
const wchar_t close_event_name[] = L"Global\\Quillbank.Routewarden.close_request";
// The system and administrators may set it; every signed-in user's agent may only wait for it.
// Whichever agent starts first creates the event and owns it: OWNER RIGHTS cuts the owner's
// implicit rights (changing the access list) down to the same wait.
const wchar_t close_event_access[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;AU)(A;;0x00100000;;;OW)";
const wchar_t agent_file_name[] = L"routewarden.exe";

// Creates the event or opens the existing one with the access given; null when neither works.
HANDLE close_event(DWORD access)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(close_event_access, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE event = CreateEventExW(&attributes, close_event_name, CREATE_EVENT_MANUAL_RESET, access);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return event;
}

wxString system_error(const wxString& what)
{
    return what + ": " + wxSysErrorMsgStr(GetLastError());
}

// The agent's side. A thread waits for the event and posts to a message-only window of the main
// thread, which runs the handler from the main loop as a termination request. A message to a
// window that is gone is dropped by the system, so the thread never reaches an application
// object that is being destroyed; it ends with the process's static objects.
constexpr UINT close_request_message = WM_APP;
void (*termination_handler)() = nullptr;
bool exit_at_request = false;
int exit_code = 0;

LRESULT CALLBACK close_request_window(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message != close_request_message)
        return DefWindowProcW(window, message, w, l);
    if (exit_at_request)
        exit_immediately(exit_code);  // a box of a failed start runs a loop of the system's own
    if (auto* application = wxAppConsole::GetInstance())
        application->CallAfter(termination_handler);
    return 0;
}

class close_request_watch {
public:
    close_request_watch() = default;
    close_request_watch(const close_request_watch&) = delete;
    close_request_watch& operator=(const close_request_watch&) = delete;

    // Without the event (a name another program holds) the agent still ends at the close
    // requests to its windows.
    void start()
    {
        if (thread_.joinable())
            return;
        const WNDCLASSW window_class{0, close_request_window, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr,
                                     nullptr, nullptr, L"routewarden_close_request"};
        RegisterClassW(&window_class);
        window_ = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr);
        close_ = close_event(SYNCHRONIZE);
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!window_ || !close_ || !stop_)
            return;
        thread_ = std::thread([close = close_, stop = stop_, window = window_] {
            const HANDLE ends[] = {stop, close};
            if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
                PostMessageW(window, close_request_message, 0, 0);
        });
    }

    ~close_request_watch()
    {
        if (thread_.joinable()) {
            SetEvent(stop_);
            thread_.join();
        }
        for (HANDLE handle : {close_, stop_})
            if (handle)
                CloseHandle(handle);
        if (window_)
            DestroyWindow(window_);
    }

private:
    HWND window_ = nullptr;
    HANDLE close_ = nullptr;
    HANDLE stop_ = nullptr;
    std::thread thread_;
};

close_request_watch watch;

// The sessions whose agents were closed and not yet started again, one value each, named by its
// number. Volatile: a session's number means nothing after a restart of the computer, which
// clears the key; until then an uninstall's note lets a later install start the agents again.
const wchar_t maker_key[] = L"SOFTWARE\\Quillbank";
const wchar_t noted_sessions_name[] = L"routewarden_sessions";
const wchar_t noted_sessions_key[] = L"SOFTWARE\\Quillbank\\routewarden_sessions";

// The running agents but this process, each with its session (unknown: none noted).
constexpr DWORD unknown_session = DWORD(-1);
struct agent_process {
    DWORD id;
    DWORD session;
};
std::vector<agent_process> running_agents()
{
    std::vector<agent_process> agents;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return agents;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        DWORD session = 0;
        if (entry.th32ProcessID != GetCurrentProcessId() && lstrcmpiW(entry.szExeFile, agent_file_name) == 0)
            agents.push_back({entry.th32ProcessID,
                              ProcessIdToSessionId(entry.th32ProcessID, &session) ? session : unknown_session});
    }
    CloseHandle(snapshot);
    return agents;
}

wxString note_sessions(const std::set<DWORD>& sessions)
{
    if (sessions.empty())
        return {};
    // The maker's key is made lasting first: under a volatile one the installer could write no
    // lasting key of its own.
    HKEY maker = nullptr, key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, maker_key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_CREATE_SUB_KEY | KEY_WOW64_64KEY, nullptr, &maker, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExW(maker, noted_sessions_name, 0, nullptr, REG_OPTION_VOLATILE,
                                 KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
        RegCloseKey(maker);
    }
    for (auto session = sessions.begin(); status == ERROR_SUCCESS && session != sessions.end(); ++session) {
        const DWORD one = 1;
        status = RegSetValueExW(key, std::to_wstring(*session).c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&one), sizeof one);
    }
    if (key)
        RegCloseKey(key);
    SetLastError(status);
    return status == ERROR_SUCCESS ? wxString() : system_error("the note of the sessions");
}

// The noted sessions, forgotten as they are read.
std::vector<DWORD> take_noted_sessions()
{
    std::vector<DWORD> sessions;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, noted_sessions_key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return sessions;
    wchar_t name[16];
    for (DWORD i = 0, length = std::size(name); RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr,
                                                              nullptr) == ERROR_SUCCESS;
         ++i, length = std::size(name))
        sessions.push_back(std::wcstoul(name, nullptr, 10));
    RegCloseKey(key);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, noted_sessions_key, KEY_WOW64_64KEY, 0);
    return sessions;
}

// Starts the program in the session: as its user on its desktop; in the caller's own session,
// where the user's token is not to be had (no privilege, or Wine), as the caller.
wxString start_in_session(DWORD session, const wxString& program)
{
    const wxString folder = wxFileName(program).GetPath();
    std::wstring command = L"\"" + program.ToStdWstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(L"winsta0\\default");
    PROCESS_INFORMATION process{};
    HANDLE token = nullptr;
    DWORD own_session = 0;
    BOOL started = FALSE;
    if (WTSQueryUserToken(session, &token)) {
        void* environment = nullptr;
        if (CreateEnvironmentBlock(&environment, token, FALSE)) {
            // Out of the installer's job where it lets go, so that its end does not take the agent.
            for (DWORD breakaway : {DWORD(CREATE_BREAKAWAY_FROM_JOB), DWORD(0)})
                if (!started)
                    started = CreateProcessAsUserW(token, program.wc_str(), command.data(), nullptr, nullptr, FALSE,
                                                   CREATE_UNICODE_ENVIRONMENT | breakaway, environment, folder.wc_str(),
                                                   &startup, &process);
            DestroyEnvironmentBlock(environment);
        }
        CloseHandle(token);
    } else if (ProcessIdToSessionId(GetCurrentProcessId(), &own_session) && own_session == session) {
        started = CreateProcessW(program.wc_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.wc_str(), &startup, &process);
    }
    if (!started)
        return system_error(wxString::Format("session %lu", static_cast<unsigned long>(session)));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {};
}
}

void on_termination_request(void (*handler)())
{
    // A close request to the windows (taskkill, the end of the session, the Restart Manager) comes
    // through the application's filter; the installer's, from any session, through the event.
    termination_handler = handler;
    watch.start();
}

void exit_on_termination_request(int code)
{
    // The windows' close request reaches a message box as a window of its own and closes it as
    // its button does; the event's ends the process.
    exit_at_request = true;
    exit_code = code;
}

wxString close_all_agents(int limit_seconds)
{
    HANDLE event = close_event(SYNCHRONIZE | EVENT_MODIFY_STATE);
    if (!event || !SetEvent(event)) {
        const wxString error = system_error("the close request");
        if (event)
            CloseHandle(event);
        return error;
    }
    // Taken after the request, so that an agent starting before it is waited for too. One that
    // cannot be opened has ended already, unless the caller may not wait for it.
    std::vector<std::pair<agent_process, HANDLE>> agents;
    std::set<DWORD> ended_sessions, running_sessions;
    for (const agent_process& agent : running_agents()) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, agent.id);
        if (process)
            agents.emplace_back(agent, process);
        else
            (GetLastError() == ERROR_INVALID_PARAMETER ? ended_sessions : running_sessions).insert(agent.session);
    }
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(limit_seconds) * 1000;
    for (const auto& [agent, process] : agents) {
        const ULONGLONG now = GetTickCount64();
        const bool ended = WaitForSingleObject(process, DWORD(now < deadline ? deadline - now : 0)) == WAIT_OBJECT_0;
        (ended ? ended_sessions : running_sessions).insert(agent.session);
        CloseHandle(process);
    }
    ResetEvent(event);
    CloseHandle(event);
    ended_sessions.erase(unknown_session);
    const wxString noted = note_sessions(ended_sessions);
    if (!running_sessions.empty())
        return wxString::Format("agents in %zu sessions did not end within %d s", running_sessions.size(),
                                limit_seconds);
    return noted;
}

wxString start_in_noted_sessions()
{
    // A session whose agent runs (it did not end, or was started since) gets no second one.
    std::set<DWORD> running;
    for (const agent_process& agent : running_agents())
        running.insert(agent.session);
    const wxString program = wxStandardPaths::Get().GetExecutablePath();
    wxString errors;
    for (DWORD session : take_noted_sessions()) {
        const wxString error = running.count(session) ? wxString() : start_in_session(session, program);
        if (!error.empty())
            errors << (errors.empty() ? "" : "; ") << error;
    }
    return errors;
}

#else

namespace {
const char unsupported[] = "only the Windows agent closes and starts the agents of every session";
}

wxString close_all_agents(int)
{
    return unsupported;
}

wxString start_in_noted_sessions()
{
    return unsupported;
}

#endif

}
