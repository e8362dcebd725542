#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace seqconv {

// A pool of worker threads that its owner creates and hands to the calls
// that may use it. The library starts no thread of its own: a call given no
// pool does all its work on the calling thread.
//
// Two kinds of work share the pool: for_each_index, in which the calling
// thread takes part, and tasks that the owner submits and later finishes.
// Nobody ever waits for work that is still queued: whoever needs it done
// takes it back and runs it, so no thread waits on a queue that only busy
// threads could serve. A task may therefore call for_each_index on the pool
// that runs it.
//
// The threads start when the pool is first given work, so that a pool made
// for a run that never needs it costs nothing. Where the build has no
// threads, or the system refuses them, the work runs on the threads that ask
// for it.
class Workers {
public:
    // At most `threads` threads work at once on one for_each_index, its
    // caller among them, and as many run tasks.
    explicit Workers(std::size_t threads);
    // Every task submitted must be finished or settled before.
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // The threads the pool was made with, 0 in a build without threads
    // (the system may grant fewer when they start).
    std::size_t size() const;

    // Calls work(i) once for every i in [0, count) and returns when every
    // call has returned. The indices are handed out in order, one at a time,
    // so callers that give out their largest pieces first keep the threads
    // evenly loaded. Calls may throw: after all have ended, the exception of
    // the lowest index that threw is thrown again, which is the one a plain
    // loop would have met first.
    void for_each_index(std::size_t count, const std::function<void(std::size_t)>& work) const;

    // A piece of work that runs once: on a worker, or on the thread that
    // finishes it. It must not throw (the compiler holds every override to
    // that); what goes wrong inside is the task's to keep.
    class Task {
    public:
        Task() = default;
        Task(const Task&) = delete;
        Task& operator=(const Task&) = delete;
        // A task still held by the pool is a fault of its owner's, which
        // ends the program rather than leave a worker on freed memory.
        virtual ~Task();

        // Its work has run. Whatever the work wrote is visible once this
        // is seen true.
        bool done() const { return state_.load(std::memory_order_acquire) == State::done; }

    protected:
        virtual void run() noexcept = 0;

    private:
        friend class Workers;
        enum class State : std::uint8_t { idle, queued, running, done };
        std::atomic<State> state_{State::idle};
    };

    // Queues the task behind those queued before; it must be idle (new).
    void submit(Task& task) const;
    // Takes back a task not yet started: true, and it will not run. False
    // when a thread runs it or ran it.
    bool withdraw(Task& task) const;
    // The task's work done: on this thread when no worker started it yet,
    // so that waiting never leaves a core idle.
    void finish(Task& task) const;
    // No thread holds the task any more: taken back, or its work done.
    void settle(Task& task) const;

private:
    struct Pool;
    std::unique_ptr<Pool> pool_;
};

// Calls work(i) for every i in [0, count): on `workers`, or with none one
// after the other on the calling thread, with the same guarantees.
void for_each_index(const Workers* workers, std::size_t count, const std::function<void(std::size_t)>& work);

// A program's one pool, which its batch of files and the tracks of its large
// files share: a thread for each core, at most eight.
inline constexpr std::size_t most_program_threads = 8;

// The threads of that pool on a machine of `cores` cores (as
// std::thread::hardware_concurrency tells it, 0 when it cannot): 0 where one
// thread would be all of it, as a pool of one gains nothing.
std::size_t program_pool_threads(unsigned cores);

// The pool for a program's run on this machine, sized by
// program_pool_threads; none where that is 0 or the build has no threads.
// Its threads start only when work comes.
std::unique_ptr<Workers> make_program_pool();

}  // namespace seqconv
