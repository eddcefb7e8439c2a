#pragma once
// Polls a condition that no event announces, until it holds or the time runs out.
#include <chrono>
#include <thread>

template <class Condition> bool eventually(Condition condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
