#include "worker_base/worker_thread.hpp"

#include <exception>

#include "worker_base/thread_events.hpp"
#include "worker_base/thread_name.hpp"

wxThread::ExitCode worker_thread::Entry()
{
    name_this_thread(name_);
    // An exception ends this worker only: the agent reports it and starts the worker again.
    worker_fact ended{worker_fact::kind::worker_ended};
    try {
        run();
        return 0;
    } catch (const std::exception& error) {
        ended.text = wxString::FromUTF8(error.what());
    } catch (...) {
    }
    report(std::move(ended));
    return 0;
}

void worker_thread::report(worker_fact fact)
{
    // ASCII by construction: no converter, which the library would make lazily on any thread.
    fact.worker = wxString::FromAscii(name_);
    queue_fact(owner_, std::move(fact));
}
