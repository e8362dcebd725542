// The XMI reader on its own (the IFF nest, every song, note durations), then
// the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

SEQCONV_READER_TARGET(xmi)
