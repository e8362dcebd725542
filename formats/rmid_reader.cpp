// RIFF RMID reader: a Standard MIDI File wrapped in a RIFF form.
//
//   offset  size  meaning (little-endian)
//   0       4     "RIFF"
//   4       4     R: size of the form; its chunks end at offset R + 8
//   8       4     form type "RMID"
//   12      ...   chunks: id (4), size S (4), S bytes, a pad byte after odd S
//
// The "data" chunk holds the Standard MIDI File and comes first. The others
// ("DISP", a "LIST" of type "INFO", ...) carry titles and pictures and are
// only walked: a second "data" chunk or a "LIST" of another type before the
// INFO list makes the file suspect.

#include <algorithm>

#include "formats/readers.h"

namespace seqconv {

bool read_rmid(ByteRange input, MidiContainer& song, Fault*, const Workers* workers) {
    ByteCursor cursor(input);
    std::uint32_t form_size = 0;
    if (!cursor.expect("RIFF") || !cursor.le32(form_size) || !cursor.expect("RMID")) return false;
    const std::size_t walk_end =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{form_size} + 8, input.size()));

    bool have_data = false;
    bool have_info = false;
    while (cursor.offset() < walk_end) {
        std::uint32_t size = 0;
        ByteRange id;
        // A chunk header cut off by the end of the file ends the walk.
        if (!cursor.take(4, id) || !cursor.le32(size)) break;
        ByteCursor content = cursor;
        // A chunk running past the end of the file keeps the bytes there are.
        const ByteRange body = content.take_at_most(size);
        const std::string_view name(reinterpret_cast<const char*>(id.begin), 4);

        if (name == "data") {
            if (have_data) return false;
            if (!read_smf(body, song, nullptr, workers)) return false;
            have_data = true;
        } else if (name == "LIST") {
            // The list type is read where the chunk's content starts, even
            // from a LIST chunk too short to hold it. One cut off by the end
            // of the file is no INFO list.
            if (!cursor.looking_at("INFO")) return false;
            have_info = true;
        }

        if (size > cursor.remaining()) break;
        cursor.skip(size);
        if ((size & 1) && cursor.offset() < walk_end) cursor.skip(1);
        if (have_data && have_info) break;
    }
    return have_data;
}

}  // namespace seqconv
