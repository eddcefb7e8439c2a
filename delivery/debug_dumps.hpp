#pragma once
// The dump pairs of failed deliveries: msg_<stamp>.json (the request body) and res_<stamp>.json
// (the answer), bounded so that a long outage with "debug" on cannot fill the disk.
#include <cstddef>
#include <string>
#include <vector>

#include <wx/filename.h>

constexpr std::size_t max_kept_dump_pairs = 100;

// Writes the pair into the folder (made when missing), the exchanged bytes as they were, then
// deletes the oldest pairs beyond max_kept_dump_pairs. Failures are not reported.
void save_dump_pair(const wxFileName& folder, std::size_t stamp, const std::string& message,
                    const std::string& answer);

// The files of the newest pairs in the folder, newest first; none when it cannot be read.
std::vector<wxFileName> newest_dump_files(const wxFileName& folder, std::size_t pairs);
