#include "worker_base/thread_name.hpp"

#ifdef __linux__
#include <pthread.h>

void name_this_thread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}
#else
void name_this_thread(const char*) {}
#endif
