#pragma once

// Reading and writing a file whole: each system's single read or write
// call (posix.cpp, windows.cpp), and the one loop that repeats it until
// everything was moved.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "app/platform/files.h"

namespace seqconv::platform {

// What one call moved: some bytes, or none and, when the system failed it,
// the system's reason. A read that moves nothing without failing is at the
// end of the file; a write never does (a disk that takes nothing more
// fails it).
struct Moved {
    std::size_t count = 0;
    bool failed = false;
    std::string reason;
};
inline Moved moved(std::size_t count) { return {count, false, {}}; }
inline Moved failure(std::string reason) { return {0, true, std::move(reason)}; }

// One read or write of up to `size` bytes (a system may move fewer, such as
// Windows, whose calls count in 32 bits).
Moved read_part(OpenFile& file, std::uint8_t* into, std::size_t size);
Moved write_part(OpenFile& file, const std::uint8_t* from, std::size_t size);

// Calls move(done, left) until `size` bytes were moved: false at the first
// call that failed, with its reason, or that moved nothing.
template <typename Move>
bool move_whole(std::size_t size, Move&& move, std::string& reason) {
    for (std::size_t done = 0; done < size;) {
        Moved part = move(done, size - done);
        if (part.failed || part.count == 0) {
            reason = part.failed ? std::move(part.reason) : std::string("shorter than its size");
            return false;
        }
        done += part.count;
    }
    return true;
}

}  // namespace seqconv::platform
