#include "worker_base/worker_thread.hpp"

#include <exception>

#include <wx/intl.h>

#include "worker_base/thread_events.hpp"
#include "worker_base/thread_name.hpp"

wxThread::ExitCode worker_thread::Entry()
{
    name_this_thread(name_);
    // An exception ends this worker only: the window reports it and starts the worker again.
    wxString failure;
    try {
        run();
        return 0;
    } catch (const std::exception& error) {
        failure = wxString::FromUTF8(error.what());
    } catch (...) {
        failure = _("Unknown exception");
    }
    queue_log_error(owner_, wxString::Format(_("Worker %s ended: %s"), name_, failure));
    queue_tracking_report(owner_, tracking_report::worker_ended, 0, name_);
    return 0;
}
