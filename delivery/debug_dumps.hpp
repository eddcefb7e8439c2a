#pragma once
// The dump pairs of failed deliveries: msg_<time>_<sequence>.json (the request body) and
// res_<time>_<sequence>.json (the answer), bounded so that a long outage with "debug" on cannot fill
// the disk. The sequence orders the pairs as they were written, whatever the clock did meanwhile.
#include <cstddef>
#include <string>
#include <vector>

#include <wx/filename.h>

constexpr std::size_t max_kept_dump_pairs = 100;

// Writes the pair into the folder (made when missing), the exchanged bytes as they were, under the
// sequence after the folder's highest, then deletes the oldest pairs beyond max_kept_dump_pairs.
// Failures are not reported.
void save_dump_pair(const wxFileName& folder, std::size_t stamp, const std::string& message,
                    const std::string& answer);

// The files of the newest pairs in the folder, newest first; none when it cannot be read.
std::vector<wxFileName> newest_dump_files(const wxFileName& folder, std::size_t pairs);
