#pragma once
// What the poller and the sender share: the finished messages, oldest first, and the queue that
// wakes the sender. Lock order: message_store_mutex before the queue's own lock.
#include <cstddef>
#include <deque>
#include <string>

#include <wx/msgqueue.h>
#include <wx/thread.h>

extern std::deque<std::string> message_store; // guarded by message_store_mutex
extern wxMutex message_store_mutex;
// Each value is the store's size when posted; 0 asks for nothing to be sent.
extern wxMessageQueue<unsigned int> notification_queue;

// The most messages the store keeps after a send pass; the oldest go first.
constexpr std::size_t max_kept_messages = 10;
