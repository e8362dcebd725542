// XMI reader: not written yet. A XMI file converts to an empty song, which
// is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_xmi(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
