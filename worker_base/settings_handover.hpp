#pragma once
// Hands a worker's settings from the main thread to the worker without a lock, so that offering
// never waits for a worker busy in a long transfer or wait: the worker takes them at its next
// cycle. Workers are never paused for it. configured_worker (worker_thread.hpp) holds one.
#include <atomic>
#include <memory>
#include <utility>

template <class Values> class settings_handover {
public:
    settings_handover() = default;
    settings_handover(const settings_handover&) = delete;
    settings_handover& operator=(const settings_handover&) = delete;
    ~settings_handover() { delete pending_.load(); }

    // Main thread: replaces any values the worker has not taken yet.
    void offer(Values values) { delete pending_.exchange(new Values(std::move(values))); }

    // Worker: the values offered since the last take, or nothing.
    std::unique_ptr<Values> take() { return std::unique_ptr<Values>(pending_.exchange(nullptr)); }

private:
    std::atomic<Values*> pending_{nullptr};
};
