#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

// Runs `work` on a thread of its own and tells whether it ended within `bound`: a call that
// hangs fails its test instead of holding it. A call that never ends is left behind.
inline bool endsWithin(std::chrono::seconds bound, std::function<void()> work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ended = done->get_future();
    std::thread([work = std::move(work), done] {
        work();
        done->set_value();
    }).detach();
    return ended.wait_for(bound) == std::future_status::ready;
}
