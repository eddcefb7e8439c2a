#include "app/platform.hpp"

#include <cstdlib>

#include <wx/app.h>

#ifndef __WINDOWS__
#include <clocale>
#include <csignal>
#include <sys/stat.h>
#endif

namespace platform {

void exit_immediately(int code)
{
    std::_Exit(code);
}

#ifdef __WINDOWS__

void use_system_text_encoding()
{
    // The narrow conversion uses the system's code page already.
}

wxDateTime modification_time(const wxFileName& file)
{
    return file.GetModificationTime();
}

void on_termination_request(void (*)())
{
    // A Windows GUI process is ended through its windows, which close the main window anyway.
}

#else

void use_system_text_encoding()
{
    // The toolkit keeps the C library's locale at "C", in which only ASCII converts.
    std::setlocale(LC_CTYPE, "");
}

wxDateTime modification_time(const wxFileName& file)
{
    struct stat status {};
    if (stat(file.GetFullPath().fn_str(), &status) != 0)
        return wxDateTime();
    return wxDateTime(wxLongLong(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000);
}

namespace {
void (*termination_handler)() = nullptr;

// Called by the library from the main loop, not in signal context: the library's own signal
// handler only records the signal and wakes the loop through a pipe.
void on_signal(int)
{
    // Run from an ordinary event, so that the idle processing that destroys closed windows follows.
    wxAppConsole::GetInstance()->CallAfter(termination_handler);
}
}

void on_termination_request(void (*handler)())
{
    termination_handler = handler;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        wxAppConsole::GetInstance()->SetSignalHandler(signal, on_signal);
}

#endif

}
