#pragma once
// What the poller and sender tests share: a sink in the window's place, an empty store in memory
// only, and the worker started with its settings and stopped at the end.
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "event_sink.hpp"
#include "shared_store.hpp"
#include "home_folders.hpp"

template <class Worker> class worker_fixture : public testing::Test {
protected:
    void TearDown() override
    {
        if (worker_)
            stop();
    }

    // Creates the worker for the sink with the further constructor arguments, configures, runs.
    template <class Values, class... Args> void run_with(Values values, Args&&... args)
    {
        worker_ = std::make_unique<Worker>(&sink_, *store_, std::forward<Args>(args)...);
        worker_->configure(std::move(values));
        ASSERT_EQ(worker_->Run(), wxTHREAD_NO_ERROR);
    }

    void stop()
    {
        worker_->stop();
        worker_.reset();
    }

    // New settings for the running worker, as the window gives them: never paused (on Windows a
    // pause suspends the thread wherever it is), taken at its next cycle.
    template <class Values> void reload(Values values) { worker_->configure(std::move(values)); }

    // A new, empty store; the worker must be stopped.
    void fresh_store() { store_ = std::make_unique<delivery_store>(&sink_, delivery_folder().GetPath()); }
    std::vector<std::string> stored_messages() { return store_->messages(); }

    event_sink sink_;
    std::unique_ptr<delivery_store> store_ = std::make_unique<delivery_store>(&sink_, delivery_folder().GetPath());
    std::unique_ptr<Worker> worker_;
};
