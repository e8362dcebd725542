#include "midi/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <vector>

#if SEQCONV_THREADS
#include <system_error>
#include <thread>
#endif

namespace seqconv {

void for_each_index(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::vector<std::exception_ptr> errors(count);
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
            try {
                work(i);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        }
    };

#if SEQCONV_THREADS
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> helpers;
    const std::size_t wanted = std::min(cores, count) - (count != 0 ? 1 : 0);
    try {
        helpers.reserve(wanted);
        while (helpers.size() < wanted) helpers.emplace_back(run);
    } catch (const std::system_error&) {
        // No more threads to be had: those started and this one do the work.
    } catch (const std::bad_alloc&) {
    }
    run();
    for (std::thread& helper : helpers) helper.join();
#else
    run();
#endif

    for (const std::exception_ptr& error : errors)
        if (error) std::rethrow_exception(error);
}

}  // namespace seqconv
