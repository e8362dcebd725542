// MIDS reader: not written yet. A MIDS file converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_mids(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
