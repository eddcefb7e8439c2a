#pragma once
// Where the window keeps one detached worker. A detached worker deletes itself when it ends, so
// the window reaches it only through the slot: the worker empties the slot as the last step of
// its destruction, and every use of the pointer happens under the slot's lock.
#include <condition_variable>
#include <mutex>

class worker_slot_base {
public:
    // Called by the worker's destruction; from then on the slot is empty.
    void release();

protected:
    std::mutex mutex_;
    std::condition_variable released_;
    void* worker_ = nullptr;
};

template <class Worker> class worker_slot : public worker_slot_base {
public:
    void attach(Worker* worker)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker_ = worker;
    }

    // Runs use(worker) while the worker cannot end; false when it has ended already.
    template <class Use> bool with(Use&& use)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!worker_)
            return false;
        use(*static_cast<Worker*>(worker_));
        return true;
    }

    // Asks the worker to end and waits until it has been destroyed.
    void stop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (worker_)
            static_cast<Worker*>(worker_)->request_stop();
        released_.wait(lock, [this] { return worker_ == nullptr; });
    }
};

// The first member of a worker: destroyed last, it empties the slot once everything else of
// the worker is gone.
class slot_release {
public:
    explicit slot_release(worker_slot_base* slot) : slot_(slot) {}
    ~slot_release()
    {
        if (slot_)
            slot_->release();
    }
    slot_release(const slot_release&) = delete;
    slot_release& operator=(const slot_release&) = delete;

private:
    worker_slot_base* slot_;
};
