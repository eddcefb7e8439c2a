#pragma once
// Runs fuzz inputs on a thread whose stack is 1 MB, a Windows thread's default, so that deep
// recursion fails here as it would there rather than fitting into Linux's 8 MB. One thread
// serves every input: a thread per input costs more than most inputs do.
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>

#include <pthread.h>

class windows_stack_thread {
public:
    windows_stack_thread()
    {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, 1024 * 1024);
        pthread_t thread;
        if (pthread_create(&thread, &attributes, &windows_stack_thread::serve, this) != 0)
            std::abort();
        pthread_attr_destroy(&attributes);
        pthread_detach(thread);
    }

    // Returns once body has run on the thread.
    void run(const std::function<void()>& body)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        pending_ = &body;
        changed_.notify_all();
        changed_.wait(lock, [this] { return pending_ == nullptr; });
    }

private:
    static void* serve(void* self)
    {
        auto& owner = *static_cast<windows_stack_thread*>(self);
        std::unique_lock<std::mutex> lock(owner.mutex_);
        for (;;) {
            owner.changed_.wait(lock, [&owner] { return owner.pending_ != nullptr; });
            (*owner.pending_)(); // the caller waits meanwhile, so holding the lock costs nothing
            owner.pending_ = nullptr;
            owner.changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* pending_ = nullptr;
};

inline void run_on_windows_stack(const std::function<void()>& body)
{
    // Never destroyed: the thread waits on it until the process ends.
    static windows_stack_thread& thread = *new windows_stack_thread;
    thread.run(body);
}
