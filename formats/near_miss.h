#pragma once

// Inputs that begin as a format's files do, but that its detector refuses:
// a file cut short before the bytes its header declares, or one whose
// header says something the format does not allow. Such an input stays
// unrecognised; this tells which format it resembles and why it was
// refused.

#include <optional>

#include "formats/byte_cursor.h"
#include "formats/fault.h"
#include "formats/input_format.h"

namespace seqconv {

// An input that begins as a format's file does but that the format's
// detector refuses: the format it resembles and why it was refused.
struct NearMiss {
    InputFormat format;
    Fault fault;
};

// The near miss the input is, if any: none for an input that a format
// accepts by its contents, and none for one that begins like no format's
// file. The fault is cut_off, at the input's size, when the input holds
// fewer bytes than it declares or than its format's header takes; it is
// malformed, at the first byte that differs, when a signature or a size is
// wrong.
std::optional<NearMiss> find_near_miss(ByteRange input);

}  // namespace seqconv
