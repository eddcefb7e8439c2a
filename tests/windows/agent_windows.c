/* agent_windows <action>: acts on the windows of the running routewarden.exe as Windows or a
 * person would, for the smoke run under Wine (whose tray icon takes no clicks from a synthetic
 * pointer there). Actions:
 *   query         WM_QUERYENDSESSION (ENDSESSION_LOGOFF) to every top-level window, as Windows
 *                 asks at sign-out; prints "<windows> windows, <refusals> refused". WM_ENDSESSION
 *                 is not sent.
 *   double_click  a double click on the tray icon: the notification the icon sends its window.
 *   right_click   a right click on the tray icon, which opens its menu.
 *   menu <id>     a choice from the main window's menu.
 *   close         the main window's close box.
 *   hold <file>   opens the file (made if missing) without sharing it, as a backup or scanning
 *                 program may, prints "held" and keeps it open until the helper is ended.
 * Exit code 1 when the process, the window or the file is not found. */
#include <windows.h>
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
    if (action == 'q' &&
        (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &agreed) ||
         !agreed))
        ++refusals;
    if (action == 'd' || action == 'r') /* only the icon's window knows the message */
        PostMessageW(window, tray_message, 0, action == 'd' ? WM_LBUTTONDBLCLK : WM_RBUTTONUP);
    return TRUE;
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

int main(int argc, char** argv)
{
    const char* action = argc > 1 ? argv[1] : "";
    if (strcmp(action, "hold") == 0 && argc > 2)
        return hold(argv[2]);
    agent = process_named("routewarden.exe");
    if (!agent) {
        fprintf(stderr, "routewarden.exe is not running\n");
        return 1;
    }
    tray_message = RegisterWindowMessageW(L"wxTaskBarIconMessage");
    EnumWindows(visit, strcmp(action, "query") == 0          ? 'q'
                       : strcmp(action, "double_click") == 0 ? 'd'
                       : strcmp(action, "right_click") == 0  ? 'r'
                                                              : 0);
    if (strcmp(action, "query") == 0) {
        printf("%d windows, %d refused\n", windows, refusals);
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
    fprintf(stderr, "usage: agent_windows query | double_click | right_click | menu <id> | close | hold <file>\n");
    return 2;
}
