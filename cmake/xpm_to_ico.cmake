# Turns the XPM picture held in a C++ header into a Windows icon file, so the tray picture and the
# executable's icon come from one source. The tests make their reference pictures with it too: the
# output's extension chooses the format (out.png).
# cmake -DHEADER=<header> -DICON=<out.ico> -DCONVERT=<ImageMagick convert> -P xpm_to_ico.cmake
file(READ "${HEADER}" text)
string(REGEX MATCH "static const char\\* const [A-Za-z_0-9]+\\[\\] = {[^}]*};" picture "${text}")
if(NOT picture)
  message(FATAL_ERROR "No XPM picture in ${HEADER}")
endif()
string(REPLACE "static const char* const" "static char*" picture "${picture}")
# The header's colour lines separate with the C escape \t; an XPM file needs the tab itself, or
# "c white" is read as another colour.
string(REPLACE "\\t" "\t" picture "${picture}")
set(xpm "${ICON}.xpm")
file(WRITE "${xpm}" "/* XPM */\n${picture}\n")
execute_process(COMMAND "${CONVERT}" "${xpm}" "${ICON}" COMMAND_ERROR_IS_FATAL ANY)
