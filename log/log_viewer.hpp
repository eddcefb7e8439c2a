#pragma once
#include <cstddef>
#include <vector>

#include <wx/filename.h>
#include <wx/htmllbox.h>
#include <wx/timer.h>

#include "log/log_page.hpp"
#include "log/log_sink.hpp"
#include "log/ui_redirectors.hpp"

// The running log: while it lives, everything written to the standard wide output and error
// streams goes to its page and to the log file. Each row is laid out on its own, and only
// when shown, so a new row costs the same however long the log is. The display catches up
// with a short delay, so a burst of rows is laid out and painted once; when the newest row
// is in sight it stays in sight.
class log_viewer : public wxHtmlListBox, private log_sink {
public:
    log_viewer(wxWindow* parent, const wxFileName& log_file);
    ~log_viewer() override;

    // Exactly the characters written since the view was created.
    wxString page_source() const;

protected:
    wxString OnGetItem(std::size_t item) const override;
    // Remembers the heights: wxHtmlListBox lays a row out anew for every query of its height,
    // and scrolling asks for the heights of all rows in view many times over.
    wxCoord OnMeasureItem(std::size_t item) const override;
    // Selected rows keep their own colours on a light background.
    wxColour GetSelectedTextColour(const wxColour& foreground) const override;

private:
    void append(const wchar_t* text, std::size_t length) override;
    bool newest_in_sight() const;
    void show_new_text();
    void forget_height(std::size_t item);

    // Declared first, so it outlives the redirectors that start it.
    wxTimer catch_up_;
    mutable std::vector<wxCoord> heights_;  // per row, unknown_height until measured
    int laid_out_width_ = 0;
    log_page page_;
    ui_redirector_cout cout_redirector_;
    ui_redirector_cerr cerr_redirector_;
};
