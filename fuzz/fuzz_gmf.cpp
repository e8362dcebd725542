// The GMF reader on its own: the header, its tempo and the event stream after
// it, then the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

SEQCONV_READER_TARGET(gmf)
