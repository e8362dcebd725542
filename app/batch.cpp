// The batch on several cores. Converting is computation on bytes in memory
// and runs on the pool's threads; every file-system operation stays on the
// calling thread, in the order the one-at-a-time loop makes them. That
// thread reads the next inputs ahead of their turn and hands them to the
// pool; at each file's turn it opens the output, has that file's conversion
// finished (on this thread when no worker took it yet) and writes it.
//
// An input read ahead may be the very file an earlier output rewrites (x.hmp
// and x.hmp.mid given together, or a link to an input named like an output).
// Reading ahead happens only between turns, when no output is open, so the
// bytes read ahead are those of the file before every output still to come,
// and after every output already closed. Each output, once opened, is
// compared with the inputs read ahead from its own turn on; those of the
// same file are dropped and read anew at their turn, as the one-at-a-time
// loop reads them.

#include "app/batch.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/workers.h"

namespace seqconv {

namespace {

constexpr std::size_t files_ahead_per_worker = 16;
constexpr std::uint64_t max_bytes_ahead = std::uint64_t{64} << 20;
constexpr std::uint64_t max_file_ahead = std::uint64_t{8} << 20;
// An empty window takes any file read ahead, so one alone stays within it.
static_assert(max_file_ahead <= max_bytes_ahead);

// One input read ahead and its conversion. Until its work is done, `bytes`,
// `output` and `error` belong to the thread that runs it; the rest to the
// batch's thread. A job is never destroyed while a worker holds it.
class Job final : public Workers::Task {
public:
    Job(const Workers& workers, std::size_t index, const std::string& input_name, const RunSettings& settings)
        : arg_index(index), workers_(workers), input_name_(input_name), settings_(settings) {}
    ~Job() override { workers_.settle(*this); }

    // The bytes it holds: its input, or its output once done when that is
    // larger. Outputs wait for their turn, and one of a few kilobytes may run
    // to gigabytes (an LDS module plays for hours).
    std::uint64_t bytes_held() const { return done() ? std::max(held, output) : held; }

    const std::size_t arg_index;
    platform::FileIdentity identity;
    std::uint64_t held = 0;           // the input's length, counted against the window
    bool submitted = false;           // read ahead and handed to the pool
    bool invalid = false;             // its file was opened as an output since
    std::vector<std::uint8_t> bytes;  // the input, then the output image
    std::uint64_t output = 0;         // the output's length once done
    std::exception_ptr error;         // what the conversion threw, reported at its turn

private:
    void run() noexcept override {
        try {
            convert_in_place(bytes, input_name_, settings_);
        } catch (...) {
            error = std::current_exception();
        }
        output = bytes.size();
    }

    const Workers& workers_;
    const std::string& input_name_;
    const RunSettings& settings_;
};

enum class Ahead { read, later, never };

// Reads an input whole, as its turn would; any failure leaves the file to
// its turn, which reports it. `later` when the window is full.
Ahead read_ahead(Job& job, const std::string& input_name, std::uint64_t held) {
    std::uint64_t length = 0;
    std::string reason;
    OpenFile input = platform::open_plain_file(input_name, job.identity, length, reason);
    if (!input || length > max_file_ahead) return Ahead::never;
    if (held != 0 && length > max_bytes_ahead - std::min(held, max_bytes_ahead)) return Ahead::later;
    try {
        job.bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        return Ahead::never;
    }
    if (!platform::read_whole(input, job.bytes, reason)) return Ahead::never;
    job.held = length;
    return Ahead::read;
}

class Batch {
public:
    Batch(const std::vector<std::string>& args, const std::vector<std::size_t>& order, const RunSettings& settings,
          const Workers& workers)
        : args_(args), order_(order), settings_(settings), workers_(workers) {}
    // Jobs still queued are dropped, all of them first; those running are
    // finished as each job goes.
    ~Batch() {
        for (const std::unique_ptr<Job>& job : window_) workers_.withdraw(*job);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    int run() {
        for (std::size_t turn = 0; turn < order_.size(); ++turn) {
            read_ahead_from(turn);
            Outcome outcome = Outcome::done;
            if (window_.empty() || window_.front()->arg_index != order_[turn]) {
                outcome = convert_one(args_[order_[turn]], settings_,
                                      [this](const std::optional<platform::FileIdentity>& output) { invalidate(output); });
            } else {
                outcome = take_turn(*window_.front());
                window_.pop_front();
            }
            if (outcome == Outcome::stop) return 1;
        }
        return 0;
    }

private:
    std::uint64_t held() const {
        std::uint64_t held = 0;
        for (const std::unique_ptr<Job>& job : window_) held += job->bytes_held();
        return held;
    }

    void read_ahead_from(std::size_t turn) {
        const std::size_t max_files = files_ahead_per_worker * workers_.size();
        std::uint64_t held_now = held();
        for (std::size_t next = turn + window_.size(); next < order_.size() && window_.size() < max_files; ++next) {
            try {
                const std::string& input_name = args_[order_[next]];
                auto job = std::make_unique<Job>(workers_, order_[next], input_name, settings_);
                const Ahead ahead = read_ahead(*job, input_name, held_now);
                if (ahead == Ahead::later) return;
                if (ahead == Ahead::never) job->bytes = {};
                window_.push_back(std::move(job));
                held_now += window_.back()->held;
                if (ahead == Ahead::read) {
                    window_.back()->submitted = true;
                    workers_.submit(*window_.back());
                }
            } catch (const std::exception&) {
                return;  // out of memory: the rest waits for its turn
            }
        }
    }

    // Every job from this turn on whose input is the file just opened as an
    // output is dropped, whether or not this turn's input was read ahead. An
    // output whose identity cannot be had may be any.
    void invalidate(const std::optional<platform::FileIdentity>& output) {
        for (const std::unique_ptr<Job>& job : window_) {
            if (!job->submitted || (output && !(job->identity == *output))) continue;
            job->invalid = true;
            if (workers_.withdraw(*job)) job->bytes = {};
        }
    }

    Outcome take_turn(Job& job) {
        const std::string& input_name = args_[job.arg_index];
        const auto opened = [this](const std::optional<platform::FileIdentity>& output) { invalidate(output); };
        if (!job.submitted || job.invalid) return convert_one(input_name, settings_, opened);
        const std::string output_name = input_name + ".mid";
        std::optional<platform::FileIdentity> identity;
        OpenFile output = open_output(output_name, identity);
        if (!output) return Outcome::stop;
        invalidate(identity);
        if (job.invalid) {
            // The output is this very input (a link), now emptied. It is
            // opened again as input only now, after the output, and so reads
            // what the one-at-a-time loop reads: nothing.
            OpenFile input = open_input(input_name);
            if (!input) return Outcome::stop;
            return convert_opened(std::move(input), std::move(output), identity, input_name, output_name, settings_);
        }
        workers_.finish(job);
        try {
            if (job.error) std::rethrow_exception(job.error);
            return write_output(std::move(output), identity, job.bytes, output_name);
        } catch (const std::exception& error) {
            report_conversion_error(input_name, error);
        }
        return Outcome::done;
    }

    const std::vector<std::string>& args_;
    const std::vector<std::size_t>& order_;  // the indices of the input names, in turn
    const RunSettings& settings_;
    const Workers& workers_;
    // The jobs from the current turn on, in turn.
    std::deque<std::unique_ptr<Job>> window_;
};

}  // namespace

int convert_ahead(const std::vector<std::string>& args, const std::vector<std::size_t>& order,
                  const RunSettings& settings, const Workers& workers) {
    Batch batch(args, order, settings, workers);
    return batch.run();
}

}  // namespace seqconv
