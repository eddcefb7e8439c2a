#pragma once
// The delivery worker: on each notification it posts the waiting messages, oldest first, and
// stops at the first failure, which stays at the head for the next notification.
#include <atomic>
#include <cstdint>
#include <string>

#include <curl/curl.h>
#include <wx/confbase.h>
#include <wx/event.h>
#include <wx/string.h>
#include <wx/thread.h>

#include "worker_base/settings_handover.hpp"
#include "worker_base/worker_thread.hpp"

class process_messages_thread : public worker_thread {
public:
    explicit process_messages_thread(wxEvtHandler* owner);
    ~process_messages_thread() override;

    // Main thread, before the start or while paused; the next send pass uses the new values.
    void load_settings(wxConfigBase& config);
    // Any thread: wakes a waiting sender and aborts a transfer in flight.
    void request_stop() override;

protected:
    ExitCode Entry() override;

private:
    struct settings_values {
        wxString tracking_server_address;
        wxString proxy_server_address;
        wxString device;
        bool debug = false;
    };

    bool stop_requested() { return stop_requested_ || TestDestroy(); }
    void send_pending_messages();
    // Sets up the handle for the store's head message and performs the transfer.
    CURLcode send_head_message(const std::string& message);
    void save_debug_dump(const std::string& message, const std::string& answer);
    static int on_progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    wxEvtHandler* owner_;
    std::uint32_t sent_count_ = 0;
    CURL* handle_ = nullptr;
    std::string answer_;
    std::atomic<bool> stop_requested_{false};

    settings_handover<settings_values> offered_settings_;
    settings_values settings_; // the worker's own copy
};
