#include "app/status_texts.hpp"

#include <boost/format.hpp>
#include <wx/intl.h>

wxString status_text(const delivery_counts& counts)
{
    return (boost::wformat(_("Messages in queue: %1% sent: %2%").ToStdWstring()) % counts.waiting % counts.sent).str();
}

wxString status_text(const coordinate_status& status)
{
    switch (status.what) {
    case coordinate_status::kind::no_device:
        return _("Bad device ID");
    case coordinate_status::kind::no_data:
        break;
    case coordinate_status::kind::position:
        // The numbers in a text stream's default notation, the metres as the float received.
        return (boost::wformat(_("Coordinate server: %1%-%2% %3% km %4% m Lat=%5% Lon=%6%.").ToStdWstring()) %
                status.direction.ToStdWstring() % status.railway.ToStdWstring() % status.km % status.metres %
                status.latitude % status.longitude)
            .str();
    }
    return _("Coordinate server: no data.");
}
