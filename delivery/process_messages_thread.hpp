#pragma once
// The delivery worker: on each notification it posts the waiting messages, oldest first, and
// stops at the first failure, which stays at the head for the next notification. Each transfer
// runs on a copy of the head, without the store's lock.
#include <cstdint>
#include <string>

#include <curl/curl.h>
#include <wx/event.h>
#include <wx/string.h>

#include "delivery/sender_settings.hpp"
#include "worker_base/worker_thread.hpp"

class delivery_store;

class process_messages_thread : public configured_worker<sender_settings> {
public:
    // The store outlives the worker.
    process_messages_thread(wxEvtHandler* owner, delivery_store& store);
    ~process_messages_thread() override;

    // Main thread, before the start or while running: the next transfer uses the new values.
    void configure(sender_settings values);

    // The TLS options of every transfer: certificate revocation is checked on a best-effort basis.
    // A certificate known to be revoked is refused; an unreachable revocation server or a missing
    // revocation list is no failure, where Windows' own default fails on both.
    static constexpr long tls_options = CURLSSLOPT_REVOKE_BEST_EFFORT;

private:
    // Wakes a waiting sender; the progress callback aborts a transfer in flight.
    void wake() override;
    void run() override;
    void send_pending_messages();
    // Sets up the handle for the store's head message and performs the transfer.
    CURLcode send_head_message(const std::string& message);
    void save_debug_dump(const std::string& message, const std::string& answer);
    static int on_progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    delivery_store& store_;
    std::uint32_t sent_count_ = 0;
    CURL* handle_ = nullptr;
    std::string answer_;
};
