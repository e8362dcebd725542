#pragma once

// The work of a seqtool run: one job per input on the run's pool, their
// results handed on in input order, whatever order the jobs end in, and a
// progress line on a terminal.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/workers.h"

namespace seqconv::tool {

// Lines to standard error, and the progress line ("12/300 name") that
// stands below them on a terminal once the run has taken a second. Any
// thread may call it.
class Progress {
public:
    explicit Progress(std::size_t total);
    void started(const std::string& name);
    void finished();
    // A message line, printed above the progress line.
    void message(const std::string& line);
    // The progress line taken away, for the summary.
    void clear();
    double seconds() const;

private:
    void draw();

    std::mutex lock_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::string current_;
    bool terminal_;
    std::size_t drawn_ = 0;  // the length of the line on screen
    std::chrono::steady_clock::time_point start_, last_draw_;
};

// Calls job(i) for each index on `workers` and then, under one lock and in
// index order, report(i, result): what a run reports does not depend on
// how many threads it has. `progress` hears of each job's end.
template <typename Result>
void run_in_order(const Workers* workers, std::size_t count, Progress& progress,
                  const std::function<Result(std::size_t)>& job,
                  const std::function<void(std::size_t, Result&)>& report) {
    std::mutex lock;
    std::vector<std::optional<Result>> results(count);
    std::size_t next = 0;
    for_each_index(workers, count, [&](std::size_t i) {
        Result result = job(i);
        const std::lock_guard<std::mutex> held(lock);
        results[i].emplace(std::move(result));
        progress.finished();
        for (; next < count && results[next]; ++next) {
            report(next, *results[next]);
            results[next].reset();
        }
    });
}

}  // namespace seqconv::tool

