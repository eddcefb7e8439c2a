/* agent_windows <action>: acts on the windows of the running routewarden.exe as Windows or a
 * person would, for the smoke run under Wine (whose tray icon takes no clicks from a synthetic
 * pointer there). Actions:
 *   query         WM_QUERYENDSESSION (ENDSESSION_LOGOFF) to every top-level window, as Windows
 *                 asks at sign-out; prints "<windows> windows, <refusals> refused". WM_ENDSESSION
 *                 is not sent.
 *   close_app     as the Restart Manager closes a program whose files an installer replaces:
 *                 WM_QUERYENDSESSION (ENDSESSION_CLOSEAPP) to every top-level window, then, when
 *                 none refused, WM_ENDSESSION (ENDSESSION_CLOSEAPP) to each; prints as query does.
 *   double_click  a double click on the tray icon: the notification the icon sends its window.
 *   right_click   a right click on the tray icon, which opens its menu.
 *   menu <id>     a choice from the main window's menu.
 *   close         the main window's close box.
 *   tooltip       prints the tooltip texts that the notification area keeps for its icons, each
 *                 followed by an empty line, in UTF-8.
 *   hold <file>   opens the file (made if missing) without sharing it, as a backup or scanning
 *                 program may, prints "held" and keeps it open until the helper is ended.
 *   busy_shell [announce]  a notification area not ready yet, as at sign-in: refuses every icon
 *                 until closed; then tells the programs that the shell's taskbar is new, if asked.
 *   as_user <name> <program>  runs the program as another signed-in user's copy would look
 *                 under Wine, which gives every program one user: its home folder C:\users\<name>
 *                 and, for the one-copy guard that goes by the program's name and the user, the
 *                 name <name> as its first argument; exits with the program's exit code.
 * Exit code 1 when the process, the window or the file is not found. */
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD agent;
static HWND main_window;
static int windows, refusals;
static UINT tray_message;

static DWORD process_named(const char* name)
{
    PROCESSENTRY32 entry;
    DWORD found = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, name) == 0)
            found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

static BOOL CALLBACK visit(HWND window, LPARAM action)
{
    DWORD process = 0;
    DWORD_PTR agreed = 0;
    char title[64];
    GetWindowThreadProcessId(window, &process);
    if (process != agent)
        return TRUE;
    ++windows;
    if (GetWindowTextA(window, title, sizeof title) && strcmp(title, "Routewarden") == 0)
        main_window = window;
    if ((action == 'q' || action == 'c') &&
        (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, action == 'q' ? ENDSESSION_LOGOFF : ENDSESSION_CLOSEAPP,
                              SMTO_ABORTIFHUNG, 10000, &agreed) ||
         !agreed))
        ++refusals;
    if (action == 'e') /* the process may end while handling it: no answer is awaited */
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 10000, &agreed);
    if (action == 'd' || action == 'r') /* only the icon's window knows the message */
        PostMessageW(window, tray_message, 0, action == 'd' ? WM_LBUTTONDBLCLK : WM_RBUTTONUP);
    return TRUE;
}

/* The notification area (Wine's desktop process) keeps a tooltip control for each icon, with
 * the text the program set. The control takes pointers in its own process only: the tool's
 * description and its text buffer are placed there. A host that stops answering gives no text
 * within seconds rather than holding the case. */
struct remote_tool {
    TTTOOLINFOW info;
    WCHAR text[1024]; /* far more than the 128 characters an icon's tooltip holds */
};

/* The next tooltip control of the host process after tip (NULL: the first). */
static HWND next_tooltip(DWORD host, HWND tip)
{
    DWORD process = 0;
    while ((tip = FindWindowExW(NULL, tip, TOOLTIPS_CLASSW, NULL)))
        if (GetWindowThreadProcessId(tip, &process) && process == host)
            return tip;
    return NULL;
}

static int print_tooltips(DWORD host)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, host);
    struct remote_tool* remote;
    HWND tip = NULL;
    char text[4096];
    int printed = 0;
    if (!process)
        return 0;
    remote = VirtualAllocEx(process, NULL, sizeof *remote, MEM_COMMIT, PAGE_READWRITE);
    while (remote && (tip = next_tooltip(host, tip))) {
        DWORD_PTR tools = 0, found;
        if (!SendMessageTimeoutW(tip, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &tools))
            continue;
        for (DWORD_PTR i = 0; i < tools; ++i) {
            struct remote_tool local;
            memset(&local, 0, sizeof local);
            local.info.cbSize = sizeof local.info;
            local.info.lpszText = remote->text;
            if (!WriteProcessMemory(process, remote, &local, sizeof local, NULL) ||
                !SendMessageTimeoutW(tip, TTM_ENUMTOOLSW, (WPARAM)i, (LPARAM)&remote->info, SMTO_ABORTIFHUNG, 5000,
                                     &found) ||
                !found ||
                !ReadProcessMemory(process, remote, &local, sizeof local, NULL) || local.info.lpszText != remote->text)
                continue;
            local.text[1023] = 0;
            WideCharToMultiByte(CP_UTF8, 0, local.text, -1, text, sizeof text, NULL, NULL);
            printf("%s\n\n", text);
            ++printed;
        }
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return printed;
}

static int hold(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open %s (error %lu)\n", path, GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}

/* A window of the shell's class, found before the real one: the default answer refuses an icon. */
static int busy_shell(BOOL announce)
{
    WNDCLASSW tray = {.lpfnWndProc = DefWindowProcW, .lpszClassName = L"Shell_TrayWnd"};
    HWND window;
    MSG message;
    if (!RegisterClassW(&tray) || !(window = CreateWindowW(tray.lpszClassName, NULL, WS_POPUP, 0, 0, 0, 0, 0, 0, 0, 0)))
        return 1;
    printf("busy\n");
    fflush(stdout);
    while (IsWindow(window) && GetMessageW(&message, NULL, 0, 0) > 0)
        DispatchMessageW(&message);
    return announce && !PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

static int as_user(const char* name, const char* program)
{
    char home[MAX_PATH], profile[MAX_PATH], command[MAX_PATH + 8];
    STARTUPINFOA startup = {.cb = sizeof startup};
    PROCESS_INFORMATION process;
    DWORD code = 1;
    snprintf(home, sizeof home, "\\users\\%s", name);
    snprintf(profile, sizeof profile, "C:\\users\\%s", name);
    snprintf(command, sizeof command, "%s", name);
    /* The agent keeps its files in the profile; the home folder is where it looks for older ones. */
    if (!SetEnvironmentVariableA("HOMEPATH", home) || !SetEnvironmentVariableA("USERPROFILE", profile) ||
        !CreateProcessA(program, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program, GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}

int main(int argc, char** argv)
{
    const char* action = argc > 1 ? argv[1] : "";
    if (strcmp(action, "tooltip") == 0) {
        DWORD host = process_named("explorer.exe");
        return host && print_tooltips(host) ? 0 : 1;
    }
    if (strcmp(action, "hold") == 0 && argc > 2)
        return hold(argv[2]);
    if (strcmp(action, "as_user") == 0 && argc > 3)
        return as_user(argv[2], argv[3]);
    if (strcmp(action, "busy_shell") == 0)
        return busy_shell(argc > 2 && strcmp(argv[2], "announce") == 0);
    agent = process_named("routewarden.exe");
    if (!agent) {
        fprintf(stderr, "routewarden.exe is not running\n");
        return 1;
    }
    tray_message = RegisterWindowMessageW(L"wxTaskBarIconMessage");
    EnumWindows(visit, strcmp(action, "query") == 0          ? 'q'
                       : strcmp(action, "close_app") == 0    ? 'c'
                       : strcmp(action, "double_click") == 0 ? 'd'
                       : strcmp(action, "right_click") == 0  ? 'r'
                                                              : 0);
    if (strcmp(action, "query") == 0 || strcmp(action, "close_app") == 0) {
        printf("%d windows, %d refused\n", windows, refusals);
        if (strcmp(action, "close_app") == 0 && !refusals)
            EnumWindows(visit, 'e');
        return 0;
    }
    if (strcmp(action, "double_click") == 0 || strcmp(action, "right_click") == 0)
        return 0;
    if (!main_window) {
        fprintf(stderr, "no main window\n");
        return 1;
    }
    if (strcmp(action, "menu") == 0 && argc > 2)
        return !PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(atoi(argv[2]), 0), 0);
    if (strcmp(action, "close") == 0)
        return !PostMessageW(main_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    fprintf(stderr, "usage: agent_windows query | close_app | double_click | right_click | menu <id> | close | hold <file> | tooltip"
                    " | busy_shell [announce] | as_user <name> <program>\n");
    return 2;
}
