#pragma once
// The calling thread's name as debuggers and sanitizer reports show it. Named on Linux only;
// elsewhere a no-op.
void name_this_thread(const char* name);
