#pragma once
// What the poller and the sender share: the finished messages, oldest first, the queue that wakes
// the sender, and the outbox file that keeps a copy of them across a restart. One object, made by
// the agent before the workers and handed to both. Lock order: message_store_mutex before the
// queue's own lock. No network wait ever holds message_store_mutex: the sender copies the head,
// sends the copy, and takes it off only when it is still the head.
//
// When the outbox cannot be used, the store goes on in memory only and tries a fresh outbox again
// at most once per heal interval, writing the whole store into it at once. A run that could not
// use the file leaves a stale mark beside it, so that no later start sends the older rows left in
// it after the newer positions that this run sent. A heal of a run that never had the file takes
// the rows the last run left in it first, unless this run has sent something since; then they are
// dropped with a row. No worker ever calls a library function here that could report to the user.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <wx/event.h>
#include <wx/filename.h>
#include <wx/msgqueue.h>
#include <wx/string.h>
#include <wx/thread.h>

class outbox;
class outbox_error;

// The most messages the store keeps, whoever hands off or sends; the oldest go first. A head in
// flight that is dropped takes nothing else with it when it is delivered.
constexpr std::size_t max_kept_messages = 10;

// The rows for the messages found in the outbox: sent first, or older than what a run without the
// file sent and so never sent.
wxString restored_row(std::size_t count);
wxString stale_row(std::size_t count);

struct outbox_opening {
    std::size_t restored = 0; // messages left by the last run, now in the store
    std::size_t stale = 0;    // rows older than what a run without the file sent, not restored
    wxString failure;         // the error row when the outbox cannot be used; empty when it can
};

// The head message, copied for a transfer that runs without the lock.
struct head_message {
    std::uint64_t id;
    std::string body;
    std::size_t waiting; // the store's size, the head included
};

class delivery_store {
public:
    // reporter: where the store's facts go. folder: the outbox's (outbox.sqlite), and the dump files'.
    delivery_store(wxEvtHandler* reporter, const wxString& folder,
                   std::chrono::steady_clock::duration heal_interval = std::chrono::minutes(1));
    ~delivery_store();
    delivery_store(const delivery_store&) = delete;
    delivery_store& operator=(const delivery_store&) = delete;

    // Main thread, before the workers run: opens the outbox and puts the newest max_kept_messages
    // it kept into the (empty) store, in their order, posting their number so that the first pass
    // sends them.
    outbox_opening open_outbox();
    wxString folder() const { return outbox_file_.GetPath(); }
    // After the workers have ended.
    void close_outbox();

    // Poller: appends the messages, drops the oldest beyond max_kept_messages (reported) and posts
    // the store's size to the sender; gives that size.
    std::size_t hand_off(std::vector<std::string> messages);

    // Sender: waits for the next notification, at most timeout_ms when not negative, and takes
    // the others already posted with it; false when none came. Its value is the largest store size
    // posted; 0 asks for nothing to be sent.
    bool next_notification(unsigned int& waiting, long timeout_ms = -1);
    // Any thread: wakes a waiting sender with a 0.
    void wake();
    // The head for a transfer: from now on, a heal no longer sends the last run's rows.
    std::optional<head_message> head();
    // Takes the delivered message off when it is still the head; gives the messages still waiting.
    std::size_t remove_delivered(std::uint64_t id);
    std::vector<std::string> messages();
    // False while the messages are kept in memory only.
    bool durable();

private:
    struct stored {
        std::uint64_t id;
        std::string body;
    };
    // With message_store_mutex held, from here on.
    template <class Change> void follow(Change change);
    // Drops the oldest messages beyond max_kept_messages; gives how many.
    std::size_t drop_oldest();
    wxString give_up(const outbox_error& error);
    // The mark a run that let go of the file left beside it; 0 when unreadable.
    std::optional<long> stale_mark() const;
    void remove_stale_mark() const;
    void heal();
    // The last run's rows in a file this run never had, in the store's order; they go first when
    // they can.
    std::vector<std::string> rows_left_before(outbox& box, std::size_t& restored, std::size_t& stale);
    void set_durable(bool durable);
    std::string outbox_path() const;
    wxString stale_mark_path() const;
    std::vector<std::string> bodies() const;

    wxEvtHandler* const reporter_;
    const wxFileName outbox_file_;
    const std::chrono::steady_clock::duration heal_interval_;

    std::deque<stored> message_store;
    wxMutex message_store_mutex;
    wxMessageQueue<unsigned int> notification_queue;
    std::unique_ptr<outbox> outbox_; // null while the store is in memory only
    bool durable_ = true;
    std::chrono::steady_clock::time_point last_failure_;
    std::uint64_t next_id_ = 1;
    bool file_used_ = false;         // the store has had the file open during this run
    bool sending_began_ = false;     // a transfer of this run began, so its message may be delivered
    std::optional<long> prior_mark_; // the stale mark found by a start that could not open the file
};
