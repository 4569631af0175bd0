#pragma once
// Work on a second thread, for long texts the window waits on while it paints.

#include <chrono>
#include <functional>
#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

namespace talery {

// `work` on a second thread; when none can be had, when its result is asked for.
template <class Work>
std::future<std::invoke_result_t<Work>> onSecondThread(Work work) {
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, std::move(work));
    }
}

// Waits for `work`, running `between` every few hundredths of a second
// meanwhile (the window paints there); work that got no thread runs now.
template <class T>
void waitWhile(std::future<T>& work, const std::function<void()>& between) {
    while (work.wait_for(std::chrono::milliseconds(15)) == std::future_status::timeout)
        if (between) between();
    work.wait();
}

}  // namespace talery
