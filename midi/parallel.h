#pragma once

#include <cstddef>
#include <functional>

namespace seqconv {

// Calls work(i) once for every i in [0, count), spread over the machine's
// cores, and returns when every call has returned. Where the build has no
// threads, or the machine one core, or no thread can be started, the calls
// run one after the other on the calling thread.
//
// Calls may throw: after all have ended, the exception of the lowest index
// that threw is thrown again, which is the one a plain loop would have met
// first.
//
// The indices are handed out in order, one at a time, so callers that give
// out their largest pieces first keep the cores evenly loaded.
void for_each_index(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace seqconv
