#pragma once
// Polls a condition that no event announces, until it holds or the time runs out. A test with a
// GUI event loop passes the call that pumps it, made between polls.
#include <chrono>
#include <thread>

template <class Condition, class Between = void (*)()>
bool eventually(Condition condition, std::chrono::milliseconds timeout, Between between = [] {})
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        between();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
