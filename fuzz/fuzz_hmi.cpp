// The HMI reader on its own (tracks found through the directory, FE events,
// note durations), then the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

SEQCONV_READER_TARGET(hmi)
