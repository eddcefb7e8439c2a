#pragma once
// The view of the running log's page. Each row is laid out on its own, and only when shown, so a
// new row costs the same however long the log is; the view shows the rows the page keeps. The display catches up with a short delay, so a burst of rows is laid out and
// painted once; when the newest row is in sight it stays in sight, and otherwise the rows in
// sight and the selected row stay as they were while older rows go.
#include <cstddef>
#include <deque>

#include <wx/filename.h>
#include <wx/htmllbox.h>
#include <wx/timer.h>

#include "log/log_page.hpp"
#include "log/running_log.hpp"

class log_viewer : public wxHtmlListBox {
public:
    // The log outlives the view.
    log_viewer(wxWindow* parent, running_log& log);
    ~log_viewer() override;

    // The page header and the rows the page keeps, as written.
    wxString page_source() const;
    // The rows the view has let go from its front, as of its last catch-up.
    std::size_t dropped_rows() const { return dropped_shown_; }

protected:
    wxString OnGetItem(std::size_t item) const override;
    // Remembers the heights: wxHtmlListBox lays a row out anew for every query of its height,
    // and scrolling asks for the heights of all rows in view many times over.
    wxCoord OnMeasureItem(std::size_t item) const override;
    // Selected rows keep their own colours on a light background.
    wxColour GetSelectedTextColour(const wxColour& foreground) const override;

private:
    void on_new_text();
    bool newest_in_sight() const;
    // The rows the page dropped that the view still shows: its items are the page's shifted by these.
    std::size_t dropped_unshown() const;
    void show_new_text();
    void forget_height(std::size_t item);

    wxTimer catch_up_;
    mutable std::deque<wxCoord> heights_;  // per row, unknown_height until measured
    std::size_t dropped_shown_ = 0;
    int laid_out_width_ = 0;
    running_log& log_;
    const log_page& page_;
};
