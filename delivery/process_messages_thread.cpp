#include "delivery/process_messages_thread.hpp"

#include <algorithm>
#include <ctime>

#include <wx/filename.h>

#include "delivery/debug_dumps.hpp"
#include "delivery/delivery_store.hpp"
#include "formats/delivery_outcome.hpp"
#include "formats/service_answer.hpp"
#include "formats/tracking_request.hpp"
#include "log/foreign_text.hpp"
#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

namespace {
// A failing service costs a cycle no more than this.
constexpr long connect_timeout_seconds = 5;
constexpr long transfer_timeout_seconds = 15;

// Keeps the answer up to one byte past the cap, which marks it oversized, and aborts the
// transfer there.
std::size_t append_answer(char* data, std::size_t size, std::size_t count, void* kept)
{
    auto& answer = *static_cast<std::string*>(kept);
    const std::size_t bytes = size * count;
    answer.append(data, std::min(bytes, max_answer_bytes + 1 - answer.size()));
    return answer.size() > max_answer_bytes ? 0 : bytes;
}

}

process_messages_thread::process_messages_thread(wxEvtHandler* owner, delivery_store& store)
    : configured_worker("sender", owner), store_(store)
{
    curl_global_init(CURL_GLOBAL_ALL);
    handle_ = curl_easy_init();
    if (!handle_)
        return;
    // Options that hold for every transfer of the handle's life.
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    curl_easy_setopt(handle_, CURLOPT_TIMEOUT, transfer_timeout_seconds);
    // Decode gzip or deflate answers; the request's own Accept-Encoding header stays the one sent.
    curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "");
    // Set on every platform: only Schannel (Windows) reads the bit, other TLS backends ignore it.
    curl_easy_setopt(handle_, CURLOPT_SSL_OPTIONS, tls_options);
    curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &process_messages_thread::on_progress);
    curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &append_answer);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &answer_);
}

process_messages_thread::~process_messages_thread()
{
    if (handle_)
        curl_easy_cleanup(handle_);
    curl_global_cleanup();
}

void process_messages_thread::configure(sender_settings values)
{
    offer_settings(std::move(values));
}

void process_messages_thread::wake()
{
    store_.wake();
}

int process_messages_thread::on_progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<process_messages_thread*>(self)->stop_requested() ? 1 : 0;
}

void process_messages_thread::run()
{
    while (!stop_requested()) {
        unsigned int waiting = 0;
        if (!store_.next_notification(waiting))
            break;
        if (waiting == 0 || stop_requested())
            continue;
        send_pending_messages();
    }
}

void process_messages_thread::send_pending_messages()
{
    while (!stop_requested()) {
        // Before every transfer: messages handed off during a pass join it, and a reload
        // applies to the transfers that begin after it.
        take_settings();
        const std::optional<head_message> head = store_.head();
        if (!head)
            break;
        queue_status(owner_, delivery_counts{head->waiting, sent_count_});
        const CURLcode transfer = send_head_message(head->body);
        long status = 0;
        if (handle_)
            curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        const delivery_outcome outcome =
            classify_delivery(status, transfer == CURLE_OK ? nullptr : curl_easy_strerror(transfer), answer_);
        if (outcome.result == delivery_result::delivered) {
            const std::size_t waiting = store_.remove_delivered(head->id);
            ++sent_count_;
            report({worker_fact::kind::delivered, waiting});
            continue;
        }
        if (settings_.debug && outcome.result != delivery_result::http_failure)
            save_debug_dump(head->body, answer_);
        const wxString failure = foreign_text(outcome.text.data(), outcome.text.size());
        queue_log_error(owner_, failure);
        report({worker_fact::kind::delivery_failed, 0, failure});
        break;
    }
}

CURLcode process_messages_thread::send_head_message(const std::string& message)
{
    answer_.clear();
    if (!handle_)
        return CURLE_FAILED_INIT;
    const std::string url = message_url(settings_.tracking_server_address, message, settings_.device);
    curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, message.data()); // the pass's own copy, read in place
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(message.size()));
    curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
    // Set on every transfer: an empty setting means a direct connection, whatever an earlier
    // setting or the environment's proxy variables say.
    const std::string proxy = settings_.proxy_server_address.ToStdString();
    curl_easy_setopt(handle_, CURLOPT_PROXY, proxy.c_str());
    curl_slist* headers = nullptr;
    for (const char* header : tracking_request::headers)
        headers = curl_slist_append(headers, header);
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers);
    const CURLcode result = curl_easy_perform(handle_);
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return result;
}

void process_messages_thread::save_debug_dump(const std::string& message, const std::string& answer)
{
    // Of an oversized answer, the bytes up to the cap.
    save_dump_pair(wxFileName::DirName(store_.folder()), static_cast<std::size_t>(std::time(nullptr)), message,
                   answer.substr(0, max_answer_bytes));
}
