#pragma once
// The poller's clock: its period, its limits and the wall clock its records carry. The agent runs
// on the defaults; tests and benchmarks shorten them.
#include <chrono>
#include <ctime>

struct poll_timing {
    std::chrono::milliseconds period = std::chrono::seconds(10);
    // A repeat of the newest record is queued once the server has had no position this long.
    std::chrono::seconds repeat_interval = std::chrono::seconds(180);
    // Bounds the connection attempt, the wait to send and the wait for the whole answer.
    std::chrono::milliseconds wait_limit = std::chrono::seconds(3);
    // The time the records carry; the repeat interval runs on the steady clock whatever it says.
    std::time_t (*wall_clock)() = [] { return std::time(nullptr); };
};
