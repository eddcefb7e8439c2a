#pragma once
// "routewarden --diagnostics <folder>": the support bundle without a window, for a deployment tool.
// It leaves a running agent undisturbed: it only reads the settings file, the presets, the policy,
// the logs and the dumps, and writes nothing but the zip; the outbox is not read.
#include <wx/string.h>

// Writes the zip into folder, which must exist, and its path as one line on standard output: 0.
// Otherwise one line on standard error: 1.
int diagnostics_command(const wxString& folder);
