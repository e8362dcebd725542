#include "base/workers.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

#if SEQCONV_THREADS
#include <system_error>
#include <thread>
#endif

namespace seqconv {

namespace {

// The indices of one for_each_index, handed out in order to every thread
// that runs the loop; each call's exception is kept at its index.
class IndexLoop {
public:
    IndexLoop(std::size_t count, const std::function<void(std::size_t)>& work)
        : count_(count), work_(work), errors_(count) {}

    void run() noexcept {
        for (std::size_t i; (i = next_.fetch_add(1, std::memory_order_relaxed)) < count_;) {
            try {
                work_(i);
            } catch (...) {
                errors_[i] = std::current_exception();
            }
        }
    }

    // Once every thread has left run().
    void rethrow_first() const {
        for (const std::exception_ptr& error : errors_)
            if (error) std::rethrow_exception(error);
    }

private:
    const std::size_t count_;
    const std::function<void(std::size_t)>& work_;
    std::vector<std::exception_ptr> errors_;
    std::atomic<std::size_t> next_{0};
};

}  // namespace

// The queue and the threads. A task's state changes only under `mutex`; it
// is atomic so that done() can be asked without the lock.
struct Workers::Pool {
    explicit Pool(std::size_t count) : wanted(count) {}

    ~Pool() {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        queued.notify_all();
#if SEQCONV_THREADS
        for (std::thread& thread : threads) thread.join();
#endif
    }

    // Starts the threads at the first work; fewer (none at all) when the
    // system refuses more, and then the work falls to those who ask for it.
    void start(const std::lock_guard<std::mutex>&) {
        if (started) return;
        started = true;
#if SEQCONV_THREADS
        try {
            threads.reserve(wanted);
            for (std::size_t i = 0; i < wanted; ++i) threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
#endif
    }

    // Takes a queued task off the queue; the caller then owns its running.
    void unqueue(Task& task) {
        std::erase(queue, &task);
        task.state_.store(Task::State::idle, std::memory_order_relaxed);
    }

    void run_here(std::unique_lock<std::mutex>& lock, Task& task) {
        task.state_.store(Task::State::running, std::memory_order_relaxed);
        lock.unlock();
        task.run();
        lock.lock();
        task.state_.store(Task::State::done, std::memory_order_release);
        finished.notify_all();
    }

    void wait_until_done(std::unique_lock<std::mutex>& lock, const Task& task) {
        finished.wait(lock, [&task] { return task.state_.load(std::memory_order_relaxed) == Task::State::done; });
    }

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            queued.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping) return;
            Task& task = *queue.front();
            queue.pop_front();
            run_here(lock, task);
        }
    }

    const std::size_t wanted;
    std::mutex mutex;
    std::condition_variable queued, finished;
    std::deque<Task*> queue;
    bool started = false;
    bool stopping = false;
#if SEQCONV_THREADS
    std::vector<std::thread> threads;
#endif
};

Workers::Task::~Task() {
    const State state = state_.load(std::memory_order_relaxed);
    if (state == State::queued || state == State::running) std::terminate();
}

#if SEQCONV_THREADS
Workers::Workers(std::size_t threads) : pool_(std::make_unique<Pool>(threads)) {}
#else
Workers::Workers(std::size_t) : pool_(std::make_unique<Pool>(0)) {}
#endif

Workers::~Workers() = default;

std::size_t Workers::size() const { return pool_->wanted; }

void Workers::submit(Task& task) const {
    if (task.state_.load(std::memory_order_relaxed) != Task::State::idle) std::terminate();
    {
        const std::lock_guard lock(pool_->mutex);
        pool_->start(lock);
        pool_->queue.push_back(&task);
        task.state_.store(Task::State::queued, std::memory_order_relaxed);
    }
    pool_->queued.notify_one();
}

bool Workers::withdraw(Task& task) const {
    const std::lock_guard lock(pool_->mutex);
    switch (task.state_.load(std::memory_order_relaxed)) {
        case Task::State::queued:
            pool_->unqueue(task);
            return true;
        case Task::State::idle:
            return true;
        default:
            return false;
    }
}

void Workers::finish(Task& task) const {
    std::unique_lock lock(pool_->mutex);
    switch (task.state_.load(std::memory_order_relaxed)) {
        case Task::State::queued:
            pool_->unqueue(task);
            [[fallthrough]];
        case Task::State::idle:
            pool_->run_here(lock, task);
            return;
        default:
            pool_->wait_until_done(lock, task);
    }
}

void Workers::settle(Task& task) const {
    std::unique_lock lock(pool_->mutex);
    if (task.state_.load(std::memory_order_relaxed) == Task::State::queued)
        pool_->unqueue(task);
    else if (task.state_.load(std::memory_order_relaxed) == Task::State::running)
        pool_->wait_until_done(lock, task);
}

namespace {

// A pool thread's share of an index loop. One that starts after every index
// was taken finds nothing left and returns at once.
class Helper final : public Workers::Task {
public:
    IndexLoop* loop = nullptr;

private:
    void run() noexcept override { loop->run(); }
};

}  // namespace

// The caller runs the loop too, so the indices get done even when every
// worker is busy (a task of this very pool calling in, say); its helpers go
// to the front of the queue, as they help finish work already begun. Those
// not started by the time the caller ran out of indices are taken back.
void Workers::for_each_index(std::size_t count, const std::function<void(std::size_t)>& work) const {
    IndexLoop loop(count, work);
    const std::size_t wanted = std::min(size(), count);
    std::unique_ptr<Helper[]> helpers;
    std::size_t helper_count = 0;
    if (wanted > 1) {
        try {
            helpers.reset(new Helper[wanted - 1]);
            helper_count = wanted - 1;
        } catch (const std::bad_alloc&) {
        }
    }
    if (helper_count != 0) {
        {
            const std::lock_guard lock(pool_->mutex);
            pool_->start(lock);
            for (std::size_t h = 0; h < helper_count; ++h) {
                helpers[h].loop = &loop;
                pool_->queue.push_front(&helpers[h]);
                helpers[h].state_.store(Task::State::queued, std::memory_order_relaxed);
            }
        }
        pool_->queued.notify_all();
    }
    loop.run();
    for (std::size_t h = 0; h < helper_count; ++h) settle(helpers[h]);
    loop.rethrow_first();
}

void for_each_index(const Workers* workers, std::size_t count, const std::function<void(std::size_t)>& work) {
    if (workers) {
        workers->for_each_index(count, work);
        return;
    }
    IndexLoop loop(count, work);
    loop.run();
    loop.rethrow_first();
}

std::size_t program_pool_threads(unsigned cores) {
    const std::size_t threads = std::min<std::size_t>(cores, most_program_threads);
    return threads < 2 ? 0 : threads;
}

std::unique_ptr<Workers> make_program_pool() {
#if SEQCONV_THREADS
    const std::size_t threads = program_pool_threads(std::thread::hardware_concurrency());
    if (threads != 0) return std::make_unique<Workers>(threads);
#endif
    return nullptr;
}

}  // namespace seqconv
