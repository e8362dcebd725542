// Formats that are recognised but not read yet: their files convert to an
// empty song, which is written as a file of zero bytes.

#include "formats/readers.h"

namespace seqconv {

bool read_hmp(ByteRange, MidiContainer&) { return false; }
bool read_hmi(ByteRange, MidiContainer&) { return false; }
bool read_xmi(ByteRange, MidiContainer&) { return false; }
bool read_mus(ByteRange, MidiContainer&) { return false; }
bool read_mids(ByteRange, MidiContainer&) { return false; }
bool read_lds(ByteRange, MidiContainer&) { return false; }
bool read_gmf(ByteRange, MidiContainer&) { return false; }

}  // namespace seqconv
