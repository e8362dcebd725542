#pragma once

// What each system's file (posix.cpp, windows.cpp) gives the parts of the
// file core that are written once (files.cpp): a plain file opened for
// reading, a single read or write call, the reason of the call that just
// failed; and the one loop that repeats a read or a write until everything
// was moved.

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

// Opens for reading a name that look_at found a file, and looks at the open
// file again: it is refused unless it is still a plain file on disk.
OpenFile open_looked_at(const std::string& name, FileIdentity& identity, std::uint64_t& length, std::string& reason);

// The system's reason for the failure of the call just made.
std::string last_reason();

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
