#pragma once
// What the poller and the sender share: the finished messages, oldest first, and the queue that
// wakes the sender. Lock order: message_store_mutex before the queue's own lock.
//
// The outbox file keeps a copy of the store, row for row, so that a restart finds the messages
// still waiting. When the file cannot be used, the store goes on in memory only until the next
// start. The workers change the store only through the three operations below.
#include <cstddef>
#include <deque>
#include <string>

#include <wx/event.h>
#include <wx/filename.h>
#include <wx/msgqueue.h>
#include <wx/string.h>
#include <wx/thread.h>

extern std::deque<std::string> message_store; // guarded by message_store_mutex
extern wxMutex message_store_mutex;
// Each value is the store's size when posted; 0 asks for nothing to be sent.
extern wxMessageQueue<unsigned int> notification_queue;

// The most messages the store keeps after a send pass; the oldest go first.
constexpr std::size_t max_kept_messages = 10;

// The home folder's "Quillbank/routewarden": dump files and the outbox.
wxFileName delivery_folder();
wxFileName outbox_file_name();

// With message_store_mutex held. The outbox follows the store; when it fails, one error row goes
// to the reporter and the store carries on in memory only.
void append_message(std::string message, wxEvtHandler* reporter);
void remove_head_message(wxEvtHandler* reporter);
// Drops the oldest messages beyond max_kept_messages.
void trim_message_store(wxEvtHandler* reporter);

struct outbox_opening {
    std::size_t restored = 0; // messages left by the last run, now in the store
    wxString failure;         // the error row when the outbox cannot be used; empty when it can
};
// Main thread, before the workers run: opens the outbox and puts the newest max_kept_messages it
// kept into the (empty) store, in their order, posting their number so that the first pass sends them.
outbox_opening open_message_outbox();
// After the workers have ended.
void close_message_outbox();
