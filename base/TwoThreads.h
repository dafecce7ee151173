#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace norvo {

// Runs `beside` on a second thread while `here` runs on this one, and returns once both are
// done; the first exception either throws is rethrown here after both ended. Without a second
// thread to be had, `beside` runs first on this thread, then `here`, so work that waits for the
// other half must not wait for what `here` does.
template <typename Beside, typename Here>
void RunBeside(Beside&& beside, Here&& here) {
    std::exception_ptr besideFailure;
    auto guarded = [&] {
        try {
            beside();
        } catch (...) {
            besideFailure = std::current_exception();
        }
    };
    std::thread other;
    try {
        other = std::thread(guarded);
    } catch (const std::system_error&) {
        guarded();
    }
    std::exception_ptr hereFailure;
    try {
        here();
    } catch (...) {
        hereFailure = std::current_exception();
    }
    if (other.joinable()) {
        other.join();
    }
    if (hereFailure) {
        std::rethrow_exception(hereFailure);
    }
    if (besideFailure) {
        std::rethrow_exception(besideFailure);
    }
}

// Runs work(0) ... work(count - 1), each once, on this thread and (for more than one item) a
// second one; after a throw no new item starts, and the first exception is rethrown here.
template <typename Work>
void ForEachOnTwoThreads(std::size_t count, const Work& work) {
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        try {
            for (std::size_t i; (i = next++) < count;) {
                work(i);
            }
        } catch (...) {
            next = count;
            throw;
        }
    };
    if (count <= 1) {
        run();
        return;
    }
    RunBeside(run, run);
}

}  // namespace norvo
