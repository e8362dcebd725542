#include "formats/event_syntax.h"

namespace seqconv {

bool read_vlq(ByteCursor& cursor, std::uint32_t& value) {
    ByteCursor ahead = cursor;
    std::uint32_t result = 0;
    std::uint8_t byte = 0;
    do {
        if (!ahead.u8(byte)) return false;
        result = (result << 7) | (byte & 0x7F);
    } while (byte & 0x80);
    cursor = ahead;
    value = result;
    return true;
}

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
