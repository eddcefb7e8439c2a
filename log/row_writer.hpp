#pragma once
#include <ctime>
#include <ostream>

#include <wx/string.h>

enum class row_kind { information, error };

// Writes one four-line table row, time first, the plain text escaped, in the kind's colour. Each
// line is one insertion followed by std::endl.
void write_row(std::wostream& stream, row_kind kind, const std::tm& local_time, const wxString& text);
