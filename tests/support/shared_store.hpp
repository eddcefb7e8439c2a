#pragma once
// The store and the notification queue are process-wide: each worker test starts them empty and
// in memory only.
#include <string>
#include <vector>

#include "delivery/message_store.hpp"
#include "delivery/outbox.hpp"

inline void reset_shared_store()
{
    close_message_outbox();
    wxMutexLocker lock(message_store_mutex);
    message_store.clear();
    notification_queue.Clear();
}

inline std::vector<std::string> stored_messages()
{
    wxMutexLocker lock(message_store_mutex);
    return {message_store.begin(), message_store.end()};
}

// The rows of the outbox file, read after the store has let go of it.
inline std::vector<std::string> outbox_rows()
{
    close_message_outbox();
    return outbox(outbox_file_name().GetFullPath().ToStdString(wxConvUTF8)).load(100);
}
