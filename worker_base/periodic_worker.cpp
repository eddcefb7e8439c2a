#include "worker_base/periodic_worker.hpp"

periodic_worker::periodic_worker(const char* name, wxEvtHandler* owner, std::chrono::steady_clock::duration period)
    : worker_thread(name, owner), timer_(loop_, period), period_(period)
{
}

void periodic_worker::wake()
{
    loop_.stop();
}

void periodic_worker::run()
{
    wait_for_tick();
    loop_.run();
}

void periodic_worker::wait_for_tick()
{
    timer_.async_wait([this](const boost::system::error_code& error) {
        if (error || stop_requested()) {
            loop_.stop();
            return;
        }
        tick();
        timer_.expires_after(period_);
        wait_for_tick();
    });
}
