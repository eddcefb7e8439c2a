#pragma once
// The commands an installer runs the program with, carried out without a window, the one-copy
// guard, the settings or the log:
//   --close-all          ends the agents of every session the orderly way and notes their
//                        sessions; exit code 1 when some did not end within 30 s
//   --start-in-sessions  starts this program in the noted sessions
//   --diagnostics <folder>  writes the support bundle there, a running agent undisturbed
// Any other argument gives the usage and exit code 2; a line on the standard error says what
// went wrong.
#include <optional>

#include <wx/arrstr.h>

// The exit code of the command that the arguments (the program's name first) give; none when
// they give none, and the agent starts.
std::optional<int> run_command(const wxArrayString& arguments);
