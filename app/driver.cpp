#include "app/driver.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "app/platform.h"
#include "seqconv/seqconv.h"

namespace seqconv {

namespace {

constexpr const char* usage_text =
    "Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Outcome { done, stop };

// Whatever the song holds is written, also when the input was damaged or not
// recognised (no tracks: zero bytes). The song holds copies of what it needs
// from the input, so the input's buffer takes the output: a large file then
// costs one buffer, not two.
void convert_in_place(std::vector<std::uint8_t>& bytes, const std::string& input_name, bool promote) {
    ReadResult read = read_song(bytes, input_name);
    if (promote) promote_to_type1(read.song);
    bytes.clear();
    write_smf(read.song, bytes);
}

// A failed flush on closing (a full disk, say) is a failed write too. The
// flush is asked for first, as not every runtime's fclose tells.
Outcome write_output(File output, const std::vector<std::uint8_t>& image, const std::string& output_name) {
    const bool written =
        std::fwrite(image.data(), 1, image.size(), output.get()) == image.size() && std::fflush(output.get()) == 0;
    if (!written || std::fclose(output.release()) != 0) {
        std::fprintf(stderr, "Error writing to output file: %s\n", output_name.c_str());
        return Outcome::stop;
    }
    return Outcome::done;
}

void report_conversion_error(const std::string& input_name, const std::exception& error) {
    std::fprintf(stderr, "Error while converting file (%s): %s\n", input_name.c_str(), error.what());
}

// From the opened files on: the input's length is taken only now, after the
// output was opened, which empties the input when both names are one file.
Outcome convert_opened(File input, File output, const std::string& input_name, const std::string& output_name,
                       bool promote) {
    try {
        std::uint64_t length = 0;
        if (!platform::file_length(input.get(), length)) {
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        std::vector<std::uint8_t> bytes;
        if (length > bytes.max_size()) throw std::length_error("input file too large to hold in memory");
        bytes.resize(static_cast<std::size_t>(length));
        if (std::fread(bytes.data(), 1, bytes.size(), input.get()) != bytes.size()) {
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        input.reset();
        convert_in_place(bytes, input_name, promote);
        return write_output(std::move(output), bytes, output_name);
    } catch (const std::exception& error) {
        report_conversion_error(input_name, error);
    }
    return Outcome::done;
}

// The files of one conversion, opened by name, or null after the message
// that says which could not be.
File open_input(const std::string& input_name) {
    File input(platform::open_file(input_name, "rb"));
    if (!input) std::fprintf(stderr, "Unable to open input file: %s\n", input_name.c_str());
    return input;
}

File open_output(const std::string& output_name, std::optional<platform::FileIdentity>& identity) {
    File output(platform::open_output_file(output_name, identity));
    if (!output) std::fprintf(stderr, "Unable to open output file: %s\n", output_name.c_str());
    return output;
}

// `output_opened` is told of the output as soon as it is open.
template <typename OutputOpened>
Outcome convert_one(const std::string& input_name, bool promote, OutputOpened&& output_opened) {
    const std::string output_name = input_name + ".mid";

    File input = open_input(input_name);
    if (!input) return Outcome::stop;
    std::optional<platform::FileIdentity> identity;
    File output = open_output(output_name, identity);
    if (!output) return Outcome::stop;
    output_opened(identity);
    return convert_opened(std::move(input), std::move(output), input_name, output_name, promote);
}

// The batch on several cores. Converting is computation on bytes in memory
// and runs on worker threads; every file-system operation stays on the
// calling thread, in the order the one-at-a-time loop above makes them.
// That thread reads the next inputs ahead of their turn and hands them to
// the workers; at each file's turn it opens the output, waits for that
// file's conversion and writes it.
//
// An input read ahead may be the very file an earlier output rewrites (x.hmp
// and x.hmp.mid given together, or a link to an input named like an output).
// Reading ahead happens only between turns, when no output is open, so the
// bytes read ahead are those of the file before every output still to come,
// and after every output already closed. Each output, once opened, is
// compared with the inputs read ahead from its own turn on; those of the
// same file are dropped and read anew at their turn, as the one-at-a-time
// loop reads them.

constexpr std::size_t max_workers = 8;
constexpr std::size_t files_ahead_per_worker = 16;
constexpr std::uint64_t max_bytes_ahead = std::uint64_t{64} << 20;
constexpr std::uint64_t max_file_ahead = std::uint64_t{8} << 20;

// One input read ahead and its conversion. The thread that starts the
// conversion owns `bytes` and `error` until it sets `finished`; `started`,
// `finished` and `output` are guarded by the pool's mutex.
struct Job {
    std::size_t arg_index = 0;
    bool promote = false;
    platform::FileIdentity identity;
    std::uint64_t held = 0;           // the input's length, counted against the window
    std::uint64_t output = 0;         // the output's length once finished
    bool submitted = false;           // read ahead and handed to the pool
    bool invalid = false;             // its file was opened as an output since
    std::vector<std::uint8_t> bytes;  // the input, then the output image
    std::exception_ptr error;         // what the conversion threw, reported at its turn
    bool started = false;
    bool finished = false;
};

void run_job(Job& job, const std::string& input_name) {
    try {
        convert_in_place(job.bytes, input_name, job.promote);
    } catch (...) {
        job.error = std::current_exception();
    }
}

class Workers {
public:
    // Starts up to `count` threads; fewer (none at all) when the system
    // refuses more.
    Workers(std::size_t count, const std::vector<std::string>& args) : args_(args) {
        try {
            for (std::size_t i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        }
    }
    // Jobs still queued are dropped; those running are finished first.
    ~Workers() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        queued_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    std::size_t size() const { return threads_.size(); }

    void submit(Job& job) {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(&job);
            job.submitted = true;
        }
        queued_.notify_one();
    }

    // Takes back a job not yet started; false when a thread has it.
    bool withdraw(Job& job) {
        const std::lock_guard lock(mutex_);
        if (job.started) return false;
        std::erase(queue_, &job);
        return true;
    }

    // The job's conversion done: on this thread when no worker started it
    // yet, so that waiting never leaves a core idle.
    void finish(Job& job) {
        {
            std::unique_lock lock(mutex_);
            if (job.started) {
                finished_.wait(lock, [&job] { return job.finished; });
                return;
            }
            std::erase(queue_, &job);
            job.started = true;
        }
        run_job(job, args_[job.arg_index]);
        const std::lock_guard lock(mutex_);
        job.output = job.bytes.size();
        job.finished = true;
    }

    // The bytes the jobs hold: each its input, or its output once finished
    // when that is larger. Outputs wait for their turn, and one of a few
    // kilobytes may run to gigabytes (an LDS module plays for hours).
    std::uint64_t held_by(const std::deque<std::unique_ptr<Job>>& jobs) {
        const std::lock_guard lock(mutex_);
        std::uint64_t held = 0;
        for (const std::unique_ptr<Job>& job : jobs)
            held += job->finished ? std::max(job->held, job->output) : job->held;
        return held;
    }

    // No thread holds the job any more: taken back, or its conversion done.
    void settle(Job& job) {
        std::unique_lock lock(mutex_);
        if (!job.started) {
            std::erase(queue_, &job);
            return;
        }
        finished_.wait(lock, [&job] { return job.finished; });
    }

private:
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            Job& job = *queue_.front();
            queue_.pop_front();
            job.started = true;
            lock.unlock();
            run_job(job, args_[job.arg_index]);
            lock.lock();
            job.output = job.bytes.size();
            job.finished = true;
            finished_.notify_all();
        }
    }

    const std::vector<std::string>& args_;
    std::mutex mutex_;
    std::condition_variable queued_, finished_;
    std::deque<Job*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

enum class Ahead { read, later, never };

// Reads an input whole, as its turn would; any failure leaves the file to
// its turn, which reports it. `later` when the window is full.
Ahead read_ahead(Job& job, const std::string& input_name, std::uint64_t held) {
    std::uint64_t length = 0;
    File input(platform::open_regular_file(input_name, job.identity, length));
    if (!input || length > max_file_ahead) return Ahead::never;
    if (held != 0 && length > max_bytes_ahead - std::min(held, max_bytes_ahead)) return Ahead::later;
    try {
        job.bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        return Ahead::never;
    }
    if (std::fread(job.bytes.data(), 1, job.bytes.size(), input.get()) != job.bytes.size()) return Ahead::never;
    job.held = length;
    return Ahead::read;
}

class Batch {
public:
    Batch(const std::vector<std::string>& args, const std::vector<std::size_t>& order, bool promote,
          std::size_t workers)
        : args_(args), order_(order), promote_(promote), workers_(workers, args) {}

    bool parallel() const { return workers_.size() != 0; }

    int run() {
        for (std::size_t turn = 0; turn < order_.size(); ++turn) {
            read_ahead_from(turn);
            Outcome outcome = Outcome::done;
            if (window_.empty() || window_.front()->arg_index != order_[turn]) {
                outcome =
                    convert_one(args_[order_[turn]], promote_,
                                [this](const std::optional<platform::FileIdentity>& output) { invalidate(output); });
            } else {
                outcome = take_turn(*window_.front());
                workers_.settle(*window_.front());
                window_.pop_front();
            }
            if (outcome == Outcome::stop) return 1;
        }
        return 0;
    }

private:
    void read_ahead_from(std::size_t turn) {
        const std::size_t max_files = files_ahead_per_worker * workers_.size();
        std::uint64_t held = workers_.held_by(window_);
        for (std::size_t next = turn + window_.size(); next < order_.size() && window_.size() < max_files; ++next) {
            try {
                auto job = std::make_unique<Job>();
                job->arg_index = order_[next];
                job->promote = promote_;
                const Ahead ahead = read_ahead(*job, args_[job->arg_index], held);
                if (ahead == Ahead::later) return;
                if (ahead == Ahead::never) job->bytes = {};
                window_.push_back(std::move(job));
                held += window_.back()->held;
                if (ahead == Ahead::read) workers_.submit(*window_.back());
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
        if (!job.submitted || job.invalid)
            return convert_one(input_name, promote_,
                               [this](const std::optional<platform::FileIdentity>& output) { invalidate(output); });
        const std::string output_name = input_name + ".mid";
        std::optional<platform::FileIdentity> identity;
        File output = open_output(output_name, identity);
        if (!output) return Outcome::stop;
        invalidate(identity);
        if (job.invalid) {
            // The output is this very input (a link), now emptied. It is
            // opened again as input only now, after the output, and so reads
            // what the one-at-a-time loop reads: nothing.
            File input = open_input(input_name);
            if (!input) return Outcome::stop;
            return convert_opened(std::move(input), std::move(output), input_name, output_name, promote_);
        }
        workers_.finish(job);
        try {
            if (job.error) std::rethrow_exception(job.error);
            return write_output(std::move(output), job.bytes, output_name);
        } catch (const std::exception& error) {
            report_conversion_error(input_name, error);
        }
        return Outcome::done;
    }

    const std::vector<std::string>& args_;
    const std::vector<std::size_t>& order_;  // the indices of the input names, in turn
    const bool promote_;
    // The jobs from the current turn on, in turn; declared before the pool,
    // so that the pool stops (finishing what runs) before they go.
    std::deque<std::unique_ptr<Job>> window_;
    Workers workers_;
};

std::size_t worker_count() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::min<std::size_t>(cores, max_workers);
}

}  // namespace

int run_batch(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fputs(usage_text, stderr);
        return 1;
    }
    // Only the first argument that is exactly "-1" is the option; it applies
    // to every file wherever it stands.
    std::size_t option_index = 0;
    for (std::size_t i = 1; i < args.size() && option_index == 0; ++i)
        if (args[i] == "-1") option_index = i;

    const bool promote = option_index != 0;
    std::vector<std::size_t> order;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (i != option_index) order.push_back(i);

    // One core, or one file: nothing to gain from the pool.
    const std::size_t workers = order.size() > 1 ? worker_count() : 0;
    if (workers > 1) {
        Batch batch(args, order, promote, workers);
        if (batch.parallel()) return batch.run();
    }
    for (const std::size_t i : order)
        if (convert_one(args[i], promote, [](const std::optional<platform::FileIdentity>&) {}) == Outcome::stop)
            return 1;
    return 0;
}

}  // namespace seqconv
