#include "app/tool_run.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "app/platform.h"

namespace seqconv::tool {

namespace {

constexpr std::size_t max_workers = 8;
constexpr auto quiet_time = std::chrono::seconds(1);
constexpr auto redraw_time = std::chrono::milliseconds(100);
constexpr std::size_t longest_name = 60;

}  // namespace

std::unique_ptr<Workers> make_workers() {
    const std::size_t threads = std::min<std::size_t>(std::thread::hardware_concurrency(), max_workers);
    if (threads < 2) return nullptr;
    auto workers = std::make_unique<Workers>(threads);
    if (workers->size() < 2) return nullptr;
    return workers;
}

Progress::Progress(std::size_t total)
    : total_(total), terminal_(platform::error_is_terminal()), start_(std::chrono::steady_clock::now()) {}

void Progress::started(const std::string& name) {
    const std::lock_guard<std::mutex> held(lock_);
    current_ = name;
    draw();
}

void Progress::finished() {
    const std::lock_guard<std::mutex> held(lock_);
    ++done_;
    draw();
}

// The progress line is overwritten with spaces rather than a terminal's
// control sequences, which not every Windows console knows.
void Progress::message(const std::string& line) {
    const std::lock_guard<std::mutex> held(lock_);
    if (drawn_ != 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawn_), "");
    drawn_ = 0;
    std::fprintf(stderr, "%s\n", line.c_str());
    draw();
}

void Progress::clear() {
    const std::lock_guard<std::mutex> held(lock_);
    if (drawn_ != 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawn_), "");
    drawn_ = 0;
    terminal_ = false;
}

double Progress::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::draw() {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < quiet_time || (drawn_ != 0 && now - last_draw_ < redraw_time)) return;
    last_draw_ = now;
    std::string name = current_;
    if (name.size() > longest_name) name = "..." + name.substr(name.size() - longest_name + 3);
    const std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " " + name;
    const int pad = drawn_ > line.size() ? static_cast<int>(drawn_ - line.size()) : 0;
    std::fprintf(stderr, "\r%s%*s", line.c_str(), pad, "");
    std::fflush(stderr);
    drawn_ = line.size() + static_cast<std::size_t>(pad);
}

}  // namespace seqconv::tool
