#include "app/worker_slot.hpp"

void worker_slot_base::release()
{
    std::lock_guard<std::mutex> lock(mutex_);
    worker_ = nullptr;
    released_.notify_all();
}
