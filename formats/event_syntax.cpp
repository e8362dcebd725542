#include "formats/event_syntax.h"

namespace seqconv {

Step read_payload(ByteCursor& cursor, std::vector<std::uint8_t>& data) {
    std::uint32_t length = 0;
    if (!read_vlq(cursor, length)) return Step::cut_off;
    if (length & 0x80000000u) return Step::malformed;
    ByteRange payload;
    if (!cursor.take(length, payload)) return Step::cut_off;
    data.insert(data.end(), payload.begin, payload.end);
    return Step::event;
}

}  // namespace seqconv
