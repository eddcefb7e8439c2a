#pragma once
// A worker whose body runs once a period on an event loop of its own, the first time one period
// after construction. One stop for all of them: stopping the loop, safe from any thread, ends it
// at once, between two ticks or before the first.
#include <chrono>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "worker_base/worker_thread.hpp"

class periodic_worker : public worker_thread {
public:
    periodic_worker(const char* name, wxEvtHandler* owner, std::chrono::steady_clock::duration period);

protected:
    // Any thread, after the stop flag is set: stops the loop. A worker that also blocks inside a
    // tick ends that first, then calls this.
    void wake() override;
    // Worker: waits for the ticks until stopped. A worker that prepares first does so, then calls this.
    void run() override;
    // Worker, once a period while not stopped.
    virtual void tick() = 0;

    boost::asio::io_context& loop() { return loop_; }

private:
    void wait_for_tick();

    boost::asio::io_context loop_;
    boost::asio::steady_timer timer_;
    const std::chrono::steady_clock::duration period_;
};
