// HMI reader: not written yet. A HMI file converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_hmi(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
