#pragma once

// Where and why a reader stopped short of the end of its input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace seqconv {

enum class FaultKind : std::uint8_t {
    none,         // the reader read the input to its end
    cut_off,      // the data end, by the end of the input or of a chunk, inside something
    malformed,    // a value the format does not allow
    unsupported,  // something the format allows but this reader does not read
    limit,        // more than the reader takes on
};

// "cut off", "malformed", "unsupported", "limit"; "" for none.
std::string_view fault_kind_name(FaultKind kind);

struct Fault {
    FaultKind kind = FaultKind::none;
    std::size_t offset = 0;  // of the byte where reading stopped, from the start of the input
    std::string reason;      // in a few words: "track 4: F7 packet"

    explicit operator bool() const { return kind != FaultKind::none; }
};

// A count written with commas between groups of three digits: "92,466".
std::string with_thousands(std::uint64_t count);

// The reason for a part whose declared size runs past the end of the input:
// "track 3 cut off: it declares 5,000 bytes and 1,200 remain".
std::string declared_past_end(std::string_view part, std::uint64_t declared, std::uint64_t remain);

// Records a fault where the caller asked for one. Readers call it only on
// the way out, so a read without fault costs nothing more.
inline void report(Fault* fault, FaultKind kind, std::size_t offset, std::string reason) {
    if (fault == nullptr) return;
    fault->kind = kind;
    fault->offset = offset;
    fault->reason = std::move(reason);
}

// A fault found in a part of the input that starts `base` bytes into it:
// its offset moved to count from the start of the whole input, `prefix`
// put in front of its reason.
inline void report_within(Fault* fault, const Fault& inner, std::size_t base, std::string_view prefix = {}) {
    if (fault == nullptr || !inner) return;
    report(fault, inner.kind, base + inner.offset, std::string(prefix) + inner.reason);
}

// Records that the input ends inside a part it declares whole, at the
// input's end, unless a fault is recorded already: where the reader stopped
// earlier, that fault tells more.
inline void report_cut_at_end(Fault* fault, std::size_t input_size, std::string reason) {
    if (fault == nullptr || *fault) return;
    report(fault, FaultKind::cut_off, input_size, std::move(reason));
}

}  // namespace seqconv
