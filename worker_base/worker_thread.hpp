#pragma once
// A worker thread that the agent owns and stops. Joinable, so that the agent can wait for the
// thread's real end: a detached thread deletes itself after any notice it could give, and the
// library cannot wait for one on every platform. Since no worker is ever paused, the stop flag
// alone says when to end.
#include <atomic>
#include <utility>

#include <wx/event.h>
#include <wx/translation.h>
#include <wx/thread.h>

#include "worker_base/settings_handover.hpp"
#include "worker_base/thread_events.hpp"

class worker_thread : public wxThread {
public:
    // name: the thread's name for debuggers and sanitizer reports, at most 15 characters.
    // owner: where the worker's facts go.
    worker_thread(const char* name, wxEvtHandler* owner)
        : wxThread(wxTHREAD_JOINABLE), owner_(owner), name_(name)
    {
        // The library registers each thread's state (its logging and untranslated texts) under a
        // lock it makes at the first registration. Registering the owner's thread here makes that
        // lock before any worker runs, so that two workers starting at once do not race to make it.
        wxTranslations::GetUntranslatedString(wxString());
    }

    const char* name() const { return name_; }

    // Any thread: ends the worker soon, also from a blocking wait.
    void request_stop()
    {
        stop_requested_ = true;
        wake();
    }

    // The owner's thread, after Run: asks the worker to end and waits until it has.
    void stop()
    {
        request_stop();
        Wait();
    }

protected:
    bool stop_requested() const { return stop_requested_; }
    // Any thread, after the stop flag is set: ends the worker's blocking wait or transfer.
    virtual void wake() = 0;
    // The worker's body, on its own named thread.
    virtual void run() = 0;
    // Any thread: the fact, from this worker, to the owner.
    void report(worker_fact fact);

    wxEvtHandler* const owner_;

private:
    ExitCode Entry() final;

    const char* const name_;
    std::atomic<bool> stop_requested_{false};
};

// A worker that takes its settings from the main thread at the start of its next cycle; Base is
// worker_thread or one of its kinds.
template <class Values, class Base = worker_thread> class configured_worker : public Base {
public:
    using Base::Base;

protected:
    // Main thread: replaces values the worker has not taken yet.
    void offer_settings(Values values) { offered_settings_.offer(std::move(values)); }
    // Worker: moves the values offered since the last take into settings_; false when none were.
    bool take_settings()
    {
        auto offered = offered_settings_.take();
        if (!offered)
            return false;
        settings_ = std::move(*offered);
        return true;
    }

    Values settings_; // the worker's own copy

private:
    settings_handover<Values> offered_settings_;
};
