#pragma once
// Writes that are on the disk before they count, so that a power cut leaves the old content or the
// new one, never an empty file or one cut short. The only platform code of this layer.
#include <string>

#include <wx/string.h>

// Flushes what was written to the file at path so far to the disk; false when that fails.
bool flush_to_disk(const wxString& path);

// Replaces the file at path with content in one step: written to path + ".tmp" beside it, flushed
// to the disk, then renamed over the old file, which is never deleted first; on Linux the folder is
// flushed too, so that the rename itself survives. False, with the old file as it was, on failure.
bool replace_durably(const wxString& path, const std::string& content);
