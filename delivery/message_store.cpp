#include "delivery/message_store.hpp"

std::deque<std::string> message_store;
wxMutex message_store_mutex;
wxMessageQueue<unsigned int> notification_queue;
