#include "log/log_viewer.hpp"

#include <algorithm>

namespace {

constexpr wxCoord unknown_height = -1;
// The display catches up at most this often: sooner than anyone reads, and rarely enough
// that laying out and painting a screenful costs little next to writing a flood of rows.
constexpr int catch_up_ms = 100;

}  // namespace

log_viewer::log_viewer(wxWindow* parent, running_log& log)
    : wxHtmlListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "htmlWindow"), log_(log), page_(log.page())
{
    SetSelectionBackground(wxColour(0xE0, 0xE0, 0xE0));
    // Runs before the list box's own size handling, which measures the rows again.
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        if (GetClientSize().x != laid_out_width_) {
            laid_out_width_ = GetClientSize().x;
            heights_.clear();
        }
        // Still as before the new size, which the list box takes in after this handler: a
        // window that grows or shrinks keeps the newest row in sight when it was.
        if (GetItemCount() > 0 && newest_in_sight())
            CallAfter([this] { ScrollToRow(GetItemCount() - 1); });
        event.Skip();
    });
    catch_up_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { show_new_text(); });
    log_.set_view([this] { on_new_text(); });
    // Rows written before the view came.
    if (page_.item_count() > 0)
        catch_up_.StartOnce(catch_up_ms);
}

log_viewer::~log_viewer()
{
    log_.set_view({});
}

wxString log_viewer::page_source() const
{
    return page_.source();
}

wxString log_viewer::OnGetItem(std::size_t item) const
{
    // Until the view catches up, a row the page dropped shows empty; its height goes with it.
    const std::size_t dropped = dropped_unshown();
    return item < dropped ? wxString() : page_.item_markup(item - dropped);
}

wxCoord log_viewer::OnMeasureItem(std::size_t item) const
{
    if (item >= heights_.size())
        heights_.resize(item + 1, unknown_height);
    if (heights_[item] == unknown_height)
        heights_[item] = wxHtmlListBox::OnMeasureItem(item);
    return heights_[item];
}

void log_viewer::forget_height(std::size_t item)
{
    if (item < heights_.size())
        heights_[item] = unknown_height;
}

wxColour log_viewer::GetSelectedTextColour(const wxColour& foreground) const
{
    return foreground;
}

void log_viewer::on_new_text()
{
    if (!catch_up_.IsRunning())
        catch_up_.StartOnce(catch_up_ms);
}

bool log_viewer::newest_in_sight() const
{
    return GetItemCount() == 0 || GetVisibleRowsEnd() >= GetItemCount();
}

std::size_t log_viewer::dropped_unshown() const
{
    return page_.dropped() - dropped_shown_;
}

void log_viewer::show_new_text()
{
    const std::size_t shown = GetItemCount();
    const bool follow = newest_in_sight();
    const std::size_t first_in_sight = GetVisibleRowsBegin();
    const int selection = GetSelection();
    // Dropped rows the view never showed shift nothing.
    const std::size_t gone = std::min(dropped_unshown(), shown);
    dropped_shown_ = page_.dropped();
    const std::size_t count = page_.item_count();

    heights_.erase(heights_.begin(), heights_.begin() + static_cast<std::ptrdiff_t>(std::min(gone, heights_.size())));
    // The last item shown may have grown since; the ones before it never change, so their
    // heights stay cached, and their layouts too while no row goes (wxHtmlListBox::SetItemCount
    // drops the layouts, which are kept by position).
    if (shown > gone) {
        forget_height(shown - gone - 1);
        RefreshRow(shown - gone - 1);
    }
    if (gone > 0)
        wxHtmlListBox::SetItemCount(count);
    else if (count != shown)
        wxVListBox::SetItemCount(count);
    if (gone > 0 && selection != wxNOT_FOUND)
        SetSelection(static_cast<std::size_t>(selection) >= gone ? selection - static_cast<int>(gone) : wxNOT_FOUND);
    // Changing the count repaints nothing, and scrolling only when the position changes.
    if (follow && count > 0)
        ScrollToRow(count - 1);
    else if (gone > 0)
        ScrollToRow(first_in_sight - std::min(first_in_sight, gone));
    if (follow || gone > 0)
        Refresh();
}
