#include "app/tool_run.h"

#include <cstdio>

#include "app/platform/console.h"

namespace seqconv::tool {

namespace {

constexpr auto quiet_time = std::chrono::seconds(1);
constexpr auto redraw_time = std::chrono::milliseconds(100);
constexpr std::size_t longest_name = 60;

}  // namespace

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
    if (name.size() > longest_name) {
        // Its end, from the start of a UTF-8 character on.
        std::size_t from = name.size() - longest_name + 3;
        while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) ++from;
        name = "..." + name.substr(from);
    }
    const std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " " + name;
    const int pad = drawn_ > line.size() ? static_cast<int>(drawn_ - line.size()) : 0;
    std::fprintf(stderr, "\r%s%*s", line.c_str(), pad, "");
    std::fflush(stderr);
    drawn_ = line.size() + static_cast<std::size_t>(pad);
}

}  // namespace seqconv::tool
