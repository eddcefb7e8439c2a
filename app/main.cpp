// The executable: the library's own entry point runs the application object.
#include "app/application.hpp"

wxIMPLEMENT_APP(routewarden);
