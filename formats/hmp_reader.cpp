// HMP reader: not written yet. A HMP file converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_hmp(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
