#include "log/log_viewer.hpp"

#include <iostream>

log_viewer::log_viewer(wxWindow* parent, const wxFileName& log_file)
    : wxHtmlListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "htmlWindow"),
      page_(log_file),
      cout_redirector_(*this),
      cerr_redirector_(*this)
{
    SetSelectionBackground(wxColour(0xE0, 0xE0, 0xE0));
    std::wcout << L"<html>" << std::endl;
    std::wcout << L"<table>" << std::endl;
    std::wcout << L"<tbody>" << std::endl;
}

// The streams get their buffers back (error stream first) before the page and its file go.
log_viewer::~log_viewer() = default;

wxString log_viewer::page_source() const
{
    return page_.source();
}

wxString log_viewer::OnGetItem(std::size_t item) const
{
    return page_.item_markup(item);
}

wxColour log_viewer::GetSelectedTextColour(const wxColour& foreground) const
{
    return foreground;
}

void log_viewer::append(const wchar_t* text, std::size_t length)
{
    page_.append(text, length);
    if (!update_pending_) {
        update_pending_ = true;
        CallAfter(&log_viewer::show_new_text);
    }
}

void log_viewer::show_new_text()
{
    update_pending_ = false;
    const std::size_t shown = GetItemCount();
    const std::size_t count = page_.item_count();
    const bool newest_in_sight = shown == 0 || GetVisibleRowsEnd() >= shown;
    // The last item shown may have grown since; the ones before it never change, so their
    // layouts stay cached (wxHtmlListBox::SetItemCount would drop them all).
    if (shown > 0)
        RefreshRow(shown - 1);
    if (count != shown)
        wxVListBox::SetItemCount(count);
    if (newest_in_sight && count > 0)
        ScrollToRow(count - 1);
}
