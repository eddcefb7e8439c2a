#pragma once
// One row of the HTML log, written to the standard wide output (information, blue) or error
// (red) stream; the log view redirects both. Main thread only. The text is written unchanged:
// callers escape plain text with escape_html.
#include <wx/string.h>

void log_info(const wxString& text);
void log_error(const wxString& text);

// &, <, >, " and ' as HTML entities, for plain text that must not be read as markup.
wxString escape_html(const wxString& text);
