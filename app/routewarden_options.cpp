#include "app/routewarden_options.hpp"

#include <algorithm>

#include <wx/button.h>
#include <wx/gdicmn.h>
#include <wx/intl.h>
#include <wx/propgrid/propgrid.h>
#include <wx/propgrid/props.h>
#include <wx/sizer.h>

#include "app/settings_file.hpp"
#include "app/settings_keys.hpp"

// clang-format off
wxBEGIN_EVENT_TABLE(routewarden_options, wxDialog)
    EVT_BUTTON(wxID_OK, routewarden_options::on_ok)
    EVT_BUTTON(wxID_CANCEL, routewarden_options::on_cancel)
wxEND_EVENT_TABLE()
// clang-format on

routewarden_options::routewarden_options(wxSharedPtr<wxFileConfig> settings, const setting_defaults& defaults,
                                         const managed_policy& policy, const wxFileName& settings_file)
    : wxDialog(nullptr, wxID_ANY, _("Setup"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      defaults_(defaults),
      settings_file_(settings_file)
{
    wxPropertyGrid::SetBoolChoices(_("Yes"), _("No"));
    grid_ = new wxPropertyGrid(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0);
    auto* ok = new wxButton(this, wxID_OK, _("Ok"), wxDefaultPosition, wxDefaultSize, wxBORDER_NONE);
    auto* cancel = new wxButton(this, wxID_CANCEL, _("Cancel"), wxDefaultPosition, wxDefaultSize, wxBORDER_NONE);
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(ok, 0, wxALL, 10);
    buttons->Add(cancel, 0, wxALL, 10);
    column->Add(grid_, 1, wxEXPAND | wxALL, 10);
    column->Add(buttons, 0, wxALIGN_RIGHT, 0);

    int rows = 0;
    auto append = [this, &rows](wxPGProperty* property) {
        grid_->Append(property);
        ++rows;
    };
    int label_width = 0, value_width = 0;
    auto widen = [this](int& width, const wxString& text) { width = std::max(width, grid_->GetTextExtent(text).x); };
    auto category = [&](const wxString& label) { append(new wxPropertyCategory(label, label)); };
    // A managed value: read-only, its label says so, and it is not among those saved.
    auto managed = [&](wxPGProperty* property) {
        property->SetLabel(wxString::Format("%s (%s)", property->GetLabel(), _("Set by your administrator")));
        property->SetHelpString(_("Set by your administrator"));
        append(property);
        grid_->SetPropertyReadOnly(property);
        widen(label_width, property->GetLabel());
        widen(value_width, property->GetValueAsString());
    };
    auto text = [&](const wxString& label, const char* key, const wxString& fallback) {
        if (const wxString* value = policy.find(key))
            return managed(new wxStringProperty(label, key, *value));
        const wxString value = settings->Read(key, fallback);
        append(new wxStringProperty(label, key, value));
        shown_.push_back({key, value, fallback});
        widen(label_width, label);
        widen(value_width, value);
        widen(value_width, fallback);
    };
    auto boolean = [&](const wxString& label, const char* key) {
        if (const wxString* value = policy.find(key))
            return managed(new wxBoolProperty(label, key, *value == "1"));
        const bool value = settings->ReadBool(key, false);
        append(new wxBoolProperty(label, key, value));
        shown_.push_back({key, value, false});
        widen(label_width, label);
    };
    category(_("Device"));
    text(_("Device ID"), settings::device, defaults_.device);
    category(_("Tracking service"));
    text(_("Address"), settings::tracking_server_address, defaults_.tracking_server_address);
    category(_("Coordinate service"));
    text(_("Address"), settings::coordinate_server_address, defaults_.coordinate_server_address);
    text(_("Port"), settings::coordinate_server_port, defaults_.coordinate_server_port);
    category(_("Extra"));
    boolean(_("Debug"), settings::debug);
    category(_("Telemetry"));
    boolean(_("Telemetry"), settings::telemetry);
    text(_("Telemetry port"), settings::telemetry_port, settings::default_telemetry_port);

    // Every row, and each column as wide as its widest text (the default addresses among them)
    // with room on both sides, as far as the screen allows.
    const int room = grid_->GetTextExtent("  ").x;
    const int splitter = grid_->GetMarginWidth() + label_width + 2 * room;
    const int width = std::min(splitter + value_width + 2 * room, wxGetClientDisplayRect().GetWidth() * 9 / 10);
    grid_->SetMinSize(wxSize(width, grid_->GetRowHeight() * (rows + 1)));
    SetSizerAndFit(column);
    grid_->SetSplitterPosition(splitter);
    Centre(wxBOTH);
}

void routewarden_options::on_ok(wxCommandEvent&)
{
    // A value still in its editor counts as typed.
    grid_->CommitChangesFromEditor();
    std::vector<setting_edit> edits;
    for (const shown_setting& setting : shown_) {
        const setting_value now = std::holds_alternative<bool>(setting.value)
                                      ? setting_value(grid_->GetPropertyValueAsBool(setting.key))
                                      : setting_value(grid_->GetPropertyValueAsString(setting.key));
        if (now != setting.value)
            edits.push_back({setting.key, now, true});
        else
            edits.push_back({setting.key, setting.fallback, false});
    }
    save_setting_edits(settings_file_, defaults_, edits);
    EndModal(wxID_OK);
}

void routewarden_options::on_cancel(wxCommandEvent&)
{
    EndModal(wxID_CANCEL);
}
