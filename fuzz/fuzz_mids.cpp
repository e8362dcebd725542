// The RIFF MIDS reader on its own (blocks of events, with and without stream
// ids), then the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

SEQCONV_READER_TARGET(mids)
