#pragma once
// What workers tell the agent: facts, carried by thread events queued to the owner, so that the
// handlers run on the main thread. Workers never call window code, and what a person is shown of a
// fact (a status text, the tray's state) is the agent's business. Their rows go as row events
// (log/log_rows.hpp).
#include <cstddef>
#include <cstdint>
#include <variant>

#include <wx/event.h>
#include <wx/string.h>

// Payload: a status_fact.
wxDECLARE_EVENT(EVT_STATUS_TEXT, wxThreadEvent);
// Payload: a worker_fact.
wxDECLARE_EVENT(EVT_WORKER_FACT, wxThreadEvent);

// The sender's counts before each transfer.
struct delivery_counts {
    std::size_t waiting = 0; // the messages in the store, the one about to be sent included
    std::size_t sent = 0;    // delivered by this run
};

// The coordinate server's last answer in a cycle, or why there is none.
struct coordinate_status {
    enum class kind { no_device, no_data, position };
    kind what = kind::no_data;
    // A position's: the peer's names as display text, the numbers as received.
    wxString direction;
    wxString railway;
    std::int32_t km = 0;
    float metres = 0;
    double latitude = 0;
    double longitude = 0;
};

using status_fact = std::variant<delivery_counts, coordinate_status>;

struct worker_fact {
    enum class kind {
        delivered,            // count: the messages still waiting
        delivery_failed,      // text: the failure
        waiting,              // after a hand-off or a trim; count: the messages waiting
        dropped,              // count: the oldest messages dropped from those waiting
        coordinates_answered, // the coordinate server answered, with a position or without
        coordinates_missed,   // a cycle got no answer: no connection, or the exchange failed
        memory_only,          // count: 1 when the outbox cannot be used, 0 when it is used again
        worker_ended,         // a worker ended by an exception; text: the exception's
    };
    kind what;
    std::size_t count = 0;
    wxString text{};
    wxString worker{}; // the reporting worker's name
};

// Safe from any thread: the target takes ownership of a new event, whose texts are deep copies.
void queue_status(wxEvtHandler* target, const status_fact& fact);
void queue_fact(wxEvtHandler* target, worker_fact fact);

// The payloads, on the main thread.
status_fact status_of(const wxThreadEvent& event);
worker_fact fact_of(const wxThreadEvent& event);
