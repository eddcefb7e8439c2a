#pragma once
// A worker thread that the window owns and stops. Joinable, so that the window can wait for the
// thread's real end: a detached thread deletes itself after any notice it could give, and the
// library cannot wait for one on every platform.
#include <wx/thread.h>

class worker_thread : public wxThread {
public:
    worker_thread() : wxThread(wxTHREAD_JOINABLE) {}

    // Any thread: ends the worker soon, also from a blocking wait.
    virtual void request_stop() = 0;

    // The owner's thread, after Run: asks the worker to end and waits until it has.
    void stop()
    {
        request_stop();
        Wait();
    }
};
