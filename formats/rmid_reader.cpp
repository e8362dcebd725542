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
#include <optional>

#include "formats/iff/chunks.h"
#include "formats/readers.h"
#include "formats/smf_reader.h"

namespace seqconv {

bool read_rmid(ByteRange input, MidiContainer& song, Fault* fault, const Workers* workers) {
    ByteCursor cursor(input);
    std::uint32_t form_size = 0;
    if (!cursor.expect("RIFF") || !cursor.le32(form_size) || !cursor.expect("RMID")) {
        report(fault, FaultKind::malformed, 0, "not a RIFF RMID form");
        return false;
    }
    const std::size_t walk_end =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{form_size} + 8, input.size()));

    // Chunks begin before the form's end, but they, and the embedded file,
    // are read as far as the file holds them, past that end too: a chunk
    // running past the end of the file keeps the bytes there are and ends
    // the walk.
    ChunkWalker chunks(input, SizeOrder::little_endian, 12, walk_end);
    bool have_data = false;
    bool have_info = false;
    Chunk chunk;
    std::optional<Chunk> cut;  // the chunk the end of the file cut off
    while (chunks.next(chunk)) {
        if (!chunk.whole()) cut = chunk;
        // Once the file and its INFO list are read, the chunks after them
        // are walked for their sizes alone.
        if (have_data && have_info) continue;
        const std::string_view name(reinterpret_cast<const char*>(chunk.id.data()), 4);
        if (name == "data") {
            if (have_data) {
                report(fault, FaultKind::malformed, chunk.offset, "a second data chunk");
                return false;
            }
            Fault inner;
            const std::size_t room_after = input.size() - (chunk.offset + 8 + chunk.body.size());
            const bool read =
                read_smf_within(chunk.body, room_after, song, fault != nullptr ? &inner : nullptr, workers);
            report_within(fault, inner, chunk.offset + 8, "data chunk: ");
            if (!read) return false;
            have_data = true;
        } else if (name == "LIST") {
            // The list type is read where the chunk's content starts, even
            // from a LIST chunk too short to hold it. One cut off by the end
            // of the file is no INFO list.
            if (!chunks.at_body(chunk).looking_at("INFO")) {
                report(fault, FaultKind::malformed, chunk.offset, "LIST chunk not of type INFO");
                return false;
            }
            have_info = true;
        }
    }
    if (cut)
        report_cut_at_end(fault, input.size(),
                          declared_past_end(id_text(cut->id) + " chunk", cut->declared, cut->body.size()));
    if (chunks.cut_off() && fault != nullptr && !*fault)
        report(fault, FaultKind::cut_off, chunks.offset(), "chunk header cut off");
    return have_data;
}

}  // namespace seqconv
