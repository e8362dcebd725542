// MUS reader: not written yet. A MUS file converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_mus(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
