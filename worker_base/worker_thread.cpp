#include "worker_base/worker_thread.hpp"

#include "worker_base/thread_name.hpp"

wxThread::ExitCode worker_thread::Entry()
{
    name_this_thread(name_);
    run();
    return 0;
}
