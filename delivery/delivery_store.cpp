#include "delivery/delivery_store.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include <wx/datetime.h>
#include <wx/file.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "delivery/outbox.hpp"
#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

namespace fs = std::filesystem;

namespace {
// Best effort: on a full disk even the deletion can fail, and the file is then deleted whole.
void empty_quietly(outbox& box)
{
    try {
        box.trim(0);
    } catch (const outbox_error&) {
    }
}

// A new mark for each time the store lets go of the file; the file itself carries a mark only once
// a heal has written the whole store into it.
std::int32_t new_mark()
{
    std::random_device random;
    return std::uniform_int_distribution<std::int32_t>(1, INT32_MAX)(random);
}
}

wxString restored_row(std::size_t count)
{
    return wxString::Format(_("Messages waiting from the last run: %u"), static_cast<unsigned>(count));
}

wxString stale_row(std::size_t count)
{
    return wxString::Format(_("Messages older than a run without the outbox were not restored: %u"),
                            static_cast<unsigned>(count));
}

delivery_store::delivery_store(wxEvtHandler* reporter, const wxString& folder,
                               std::chrono::steady_clock::duration heal_interval)
    : reporter_(reporter), outbox_file_(folder, "outbox.sqlite"), heal_interval_(heal_interval)
{
}

delivery_store::~delivery_store() = default;

std::string delivery_store::outbox_path() const
{
    return outbox_file_.GetFullPath().ToStdString(wxConvUTF8);
}

wxString delivery_store::stale_mark_path() const
{
    return outbox_file_.GetFullPath() + ".stale";
}

std::vector<std::string> delivery_store::bodies() const
{
    std::vector<std::string> found;
    for (const stored& message : message_store)
        found.push_back(message.body);
    return found;
}

void delivery_store::set_durable(bool durable)
{
    if (durable == durable_)
        return;
    durable_ = durable;
    queue_fact(reporter_, {worker_fact::kind::memory_only, durable ? 0u : 1u});
}

// Closes the outbox and gives the error row; a damaged file is moved aside (closed first: an open
// file cannot be renamed everywhere), so that a fresh one can be made.
wxString delivery_store::give_up(const outbox_error& error)
{
    outbox_.reset();
    last_failure_ = std::chrono::steady_clock::now();
    set_durable(false);
    {
        // Written before anything else: whatever the file still holds is older than what this
        // run will send from memory. Flushed, since the run usually ends by losing power.
        wxLogNull quiet;
        wxFile mark;
        if (mark.Create(stale_mark_path(), true) && mark.Write(wxString::Format("%d", new_mark())))
            mark.Flush();
    }
    const wxString path = outbox_file_.GetFullPath();
    const wxString reason = wxString::FromUTF8(error.what());
    if (error.corrupt()) {
        try {
            const std::string aside =
                outbox::set_aside(outbox_path(), wxDateTime::Now().Format("%Y%m%d-%H%M%S").ToStdString());
            return wxString::Format(_("Outbox %s is damaged and was moved aside as %s, messages are kept in "
                                      "memory only: %s"),
                                    path, wxString::FromUTF8(aside), reason);
        } catch (const std::system_error&) {
            // Left where it is: the next attempt finds it damaged again and tries once more.
        }
    }
    return wxString::Format(_("Outbox %s cannot be used, messages are kept in memory only: %s"), path, reason);
}

std::optional<long> delivery_store::stale_mark() const
{
    const fs::path path = fs::u8path(stale_mark_path().utf8_string());
    std::error_code error;
    if (!fs::exists(path, error) && !error)
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    long mark = 0;
    // A mark that cannot be read (0, which no heal writes as a match) trusts nothing in the file.
    if (!(file >> mark))
        mark = 0;
    return mark;
}

void delivery_store::remove_stale_mark() const
{
    std::error_code ignored; // a mark left behind only costs the next start the file's rows
    fs::remove(fs::u8path(stale_mark_path().utf8_string()), ignored);
}

// Called after the change in memory: a heal writes the store as it now is, change included.
template <class Change> void delivery_store::follow(Change change)
{
    if (!outbox_) {
        // Never opened, or closed at the end: nothing to heal.
        if (!durable_)
            heal();
        return;
    }
    try {
        change(*outbox_);
    } catch (const outbox_error& error) {
        // Every row is also in the store. Left behind, they would come back at the next start,
        // after this run went on without them. The stale mark keeps a later start from sending
        // them; they are also emptied on the open connection and the file deleted, as far as the
        // failure allows (Windows refuses to delete a file that another program holds open).
        if (!error.corrupt())
            empty_quietly(*outbox_);
        queue_log_error(reporter_, give_up(error));
        if (!error.corrupt())
            outbox::discard(outbox_path());
    }
}

std::vector<std::string> delivery_store::rows_left_before(outbox& box, std::size_t& restored, std::size_t& stale)
{
    std::vector<std::string> rows = box.load(SIZE_MAX);
    // The same trust as at a start: no mark from before this run, or one a heal wrote into the file.
    const bool trusted = !prior_mark_ || (*prior_mark_ != 0 && *prior_mark_ == box.mark());
    if (!trusted || sending_began_) {
        stale = rows.size();
        rows.clear();
    }
    restored = rows.size();
    return rows;
}

void delivery_store::heal()
{
    if (std::chrono::steady_clock::now() - last_failure_ < heal_interval_)
        return;
    {
        std::error_code ignored; // a folder that cannot be made shows as the outbox's own failure
        fs::create_directories(fs::u8path(outbox_file_.GetPath().utf8_string()), ignored);
    }
    // Without a mark (it could not be written) the file is rewritten all the same.
    const long mark = stale_mark().value_or(0);
    std::size_t restored = 0, stale = 0;
    try {
        auto box = std::make_unique<outbox>(outbox_path());
        std::vector<std::string> rows =
            file_used_ ? std::vector<std::string>{} : rows_left_before(*box, restored, stale);
        const std::size_t made = message_store.size();
        // The ten-message rule holds for the rows taken back too: the oldest of them go first.
        const std::size_t dropped =
            std::min(restored, (restored + made) - std::min(restored + made, max_kept_messages));
        rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(dropped));
        restored -= dropped;
        const std::vector<std::string> store_rows = bodies();
        rows.insert(rows.end(), store_rows.begin(), store_rows.end());
        box->replace(rows, static_cast<std::int32_t>(mark));
        outbox_ = std::move(box);
        file_used_ = true;
        // Taken back only when nothing was sent yet: no head in flight, whose id must stay.
        for (std::size_t i = restored; i-- > 0;)
            message_store.push_front({next_id_++, std::move(rows[i])});
        if (dropped > 0)
            queue_fact(reporter_, {worker_fact::kind::dropped, dropped});
    } catch (const outbox_error& error) {
        // A file found damaged is moved aside, with its row, for the next attempt; others stay quiet.
        if (error.corrupt())
            queue_log_error(reporter_, give_up(error));
        last_failure_ = std::chrono::steady_clock::now();
        return;
    }
    // Only now: the file carries the mark, so a start after a power cut here still trusts it.
    remove_stale_mark();
    set_durable(true);
    if (stale > 0)
        queue_log_info(reporter_, stale_row(stale));
    if (restored > 0)
        queue_log_info(reporter_, restored_row(restored));
    queue_log_info(reporter_, wxString::Format(_("Outbox %s is used again"), outbox_file_.GetFullPath()));
}

outbox_opening delivery_store::open_outbox()
{
    {
        wxLogNull quiet; // a folder that cannot be made shows as the outbox's own failure
        wxFileName::Mkdir(outbox_file_.GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    }
    wxMutexLocker lock(message_store_mutex);
    outbox_opening opening;
    try {
        outbox_ = std::make_unique<outbox>(outbox_path());
        if (const std::optional<long> mark = stale_mark()) {
            // Unless a heal rewrote the file with this mark, its rows are older than what the run
            // without it sent.
            if (*mark == 0 || *mark != outbox_->mark()) {
                opening.stale = outbox_->load(SIZE_MAX).size();
                outbox_->trim(0);
            }
            remove_stale_mark();
        }
        // More rows than that are left when the last run ended between a hand-off and its trim.
        outbox_->trim(max_kept_messages);
        for (auto& message : outbox_->load(max_kept_messages))
            message_store.push_back({next_id_++, std::move(message)});
    } catch (const outbox_error& error) {
        message_store.clear();
        // Read before give_up replaces it: a heal then trusts the file's rows as this start would have.
        prior_mark_ = stale_mark();
        opening.failure = give_up(error);
        return opening;
    }
    file_used_ = true;
    opening.restored = message_store.size();
    if (opening.restored > 0)
        notification_queue.Post(static_cast<unsigned int>(message_store.size()));
    return opening;
}

void delivery_store::close_outbox()
{
    wxMutexLocker lock(message_store_mutex);
    outbox_.reset();
}

std::size_t delivery_store::hand_off(std::vector<std::string> messages)
{
    wxMutexLocker lock(message_store_mutex);
    for (std::string& body : messages) {
        message_store.push_back({next_id_++, std::move(body)});
        follow([this](outbox& box) { box.append(message_store.back().body); });
    }
    // Here too, so that the rule holds whatever the sender does.
    if (const std::size_t dropped = drop_oldest())
        queue_fact(reporter_, {worker_fact::kind::dropped, dropped});
    // Every cycle gives a memory-only store its chance to heal.
    if (messages.empty())
        follow([](outbox&) {});
    notification_queue.Post(static_cast<unsigned int>(message_store.size()));
    return message_store.size();
}

bool delivery_store::next_notification(unsigned int& waiting, long timeout_ms)
{
    const wxMessageQueueError result =
        timeout_ms < 0 ? notification_queue.Receive(waiting) : notification_queue.ReceiveTimeout(timeout_ms, waiting);
    if (result != wxMSGQUEUE_NO_ERROR)
        return false;
    // Those posted during a long pass ask for one pass together: the queue stays as short as
    // the cycles of one pass, however long the service takes.
    for (unsigned int later = 0; notification_queue.ReceiveTimeout(0, later) == wxMSGQUEUE_NO_ERROR;)
        waiting = std::max(waiting, later);
    return true;
}

void delivery_store::wake()
{
    notification_queue.Post(0);
}

std::optional<head_message> delivery_store::head()
{
    wxMutexLocker lock(message_store_mutex);
    if (message_store.empty())
        return std::nullopt;
    sending_began_ = true;
    return head_message{message_store.front().id, message_store.front().body, message_store.size()};
}

std::size_t delivery_store::remove_delivered(std::uint64_t id)
{
    wxMutexLocker lock(message_store_mutex);
    // A head dropped by the trim while it was in flight takes nothing else with it.
    if (!message_store.empty() && message_store.front().id == id) {
        message_store.pop_front();
        follow([](outbox& box) { box.remove_head(); });
    }
    return message_store.size();
}

std::size_t delivery_store::drop_oldest()
{
    if (message_store.size() <= max_kept_messages)
        return 0;
    const std::size_t dropped = message_store.size() - max_kept_messages;
    message_store.erase(message_store.begin(), message_store.begin() + static_cast<std::ptrdiff_t>(dropped));
    follow([](outbox& box) { box.trim(max_kept_messages); });
    return dropped;
}

std::vector<std::string> delivery_store::messages()
{
    wxMutexLocker lock(message_store_mutex);
    return bodies();
}

bool delivery_store::durable()
{
    wxMutexLocker lock(message_store_mutex);
    return durable_;
}
