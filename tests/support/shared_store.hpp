#pragma once
// The store and the notification queue are process-wide: each worker test starts them empty.
#include <string>
#include <vector>

#include "delivery/message_store.hpp"

inline void reset_shared_store()
{
    wxMutexLocker lock(message_store_mutex);
    message_store.clear();
    notification_queue.Clear();
}

inline std::vector<std::string> stored_messages()
{
    wxMutexLocker lock(message_store_mutex);
    return {message_store.begin(), message_store.end()};
}
