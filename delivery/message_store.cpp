#include "delivery/message_store.hpp"

#include <memory>
#include <system_error>

#include <wx/datetime.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "delivery/outbox.hpp"
#include "worker_base/thread_events.hpp"

std::deque<std::string> message_store;
wxMutex message_store_mutex;
wxMessageQueue<unsigned int> notification_queue;

namespace {
// Null while the store is in memory only. Guarded by message_store_mutex.
std::unique_ptr<outbox> message_outbox;

// Closes the outbox and gives the error row; a damaged file is moved aside (closed first: an
// open file cannot be renamed everywhere), so that the next start makes a fresh one.
wxString give_up(std::unique_ptr<outbox>& box, const outbox_error& error)
{
    box.reset();
    const wxString path = outbox_file_name().GetFullPath();
    const wxString reason = wxString::FromUTF8(error.what());
    if (error.corrupt()) {
        try {
            const std::string aside =
                outbox::set_aside(path.ToStdString(wxConvUTF8), wxDateTime::Now().Format("%Y%m%d-%H%M%S").ToStdString());
            return wxString::Format(_("Outbox %s is damaged and was moved aside as %s, messages are kept in memory only: %s"),
                                    path, wxString::FromUTF8(aside), reason);
        } catch (const std::system_error&) {
            // Left where it is: the next start finds it damaged again and tries once more.
        }
    }
    return wxString::Format(_("Outbox %s cannot be used, messages are kept in memory only: %s"), path, reason);
}

// Best effort: on a full disk even the deletion can fail, and the file is then deleted whole.
void empty_quietly(outbox& box)
{
    try {
        box.trim(0);
    } catch (const outbox_error&) {
    }
}

template <class Change> void follow(Change change, wxEvtHandler* reporter)
{
    if (!message_outbox)
        return;
    try {
        change(*message_outbox);
    } catch (const outbox_error& error) {
        // Every row is also in the store. Left behind, they would come back at the next start,
        // after this run went on without them, and be sent twice. The rows are emptied on the open
        // connection first: Windows refuses to delete a file that another program holds open.
        if (!error.corrupt())
            empty_quietly(*message_outbox);
        queue_log_error(reporter, give_up(message_outbox, error));
        if (!error.corrupt())
            outbox::discard(outbox_file_name().GetFullPath().ToStdString(wxConvUTF8));
    }
}
}

wxFileName delivery_folder()
{
    wxFileName folder = wxFileName::DirName(wxFileName::GetHomeDir());
    folder.AppendDir("Quillbank");
    folder.AppendDir("routewarden");
    return folder;
}

wxFileName outbox_file_name()
{
    wxFileName file = delivery_folder();
    file.SetFullName("outbox.sqlite");
    return file;
}

void append_message(std::string message, wxEvtHandler* reporter)
{
    follow([&message](outbox& box) { box.append(message); }, reporter);
    message_store.push_back(std::move(message));
}

void remove_head_message(wxEvtHandler* reporter)
{
    message_store.pop_front();
    follow([](outbox& box) { box.remove_head(); }, reporter);
}

void trim_message_store(wxEvtHandler* reporter)
{
    if (message_store.size() <= max_kept_messages)
        return;
    message_store.erase(message_store.begin(), message_store.end() - max_kept_messages);
    follow([](outbox& box) { box.trim(max_kept_messages); }, reporter);
}

outbox_opening open_message_outbox()
{
    {
        wxLogNull quiet; // a folder that cannot be made shows as the outbox's own failure
        delivery_folder().Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    }
    wxMutexLocker lock(message_store_mutex);
    std::unique_ptr<outbox> box;
    outbox_opening opening;
    try {
        box = std::make_unique<outbox>(outbox_file_name().GetFullPath().ToStdString(wxConvUTF8));
        // More rows than that are left when the last run ended between a hand-off and its trim.
        box->trim(max_kept_messages);
        for (auto& message : box->load(max_kept_messages))
            message_store.push_back(std::move(message));
    } catch (const outbox_error& error) {
        opening.failure = give_up(box, error);
        return opening;
    }
    message_outbox = std::move(box);
    opening.restored = message_store.size();
    if (opening.restored > 0)
        notification_queue.Post(static_cast<unsigned int>(message_store.size()));
    return opening;
}

void close_message_outbox()
{
    wxMutexLocker lock(message_store_mutex);
    message_outbox.reset();
}
