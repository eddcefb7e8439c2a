// The test entry initialises wxWidgets with this application object, so windows can be made.
#include <wx/app.h>

wxIMPLEMENT_APP_NO_MAIN(wxApp);
