#pragma once
// What the status bar shows of the workers' facts, in the user's language. No GUI.
#include <wx/string.h>

#include "worker_base/thread_events.hpp"

// "Messages in queue: 3 sent: 41"
wxString status_text(const delivery_counts& counts);
// "Bad device ID", "Coordinate server: no data." or the position.
wxString status_text(const coordinate_status& status);
