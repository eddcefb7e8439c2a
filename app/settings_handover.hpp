#pragma once
// Hands a worker's settings from the main thread to the worker without a lock. A pause may stop
// the worker at any point (on some platforms it suspends the thread at once); a lock held by
// the worker then would stop the main thread's load_settings as well.
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
