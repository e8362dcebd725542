// LDS reader: not written yet. An LDS module converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_lds(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
