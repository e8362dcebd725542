// LDS module loader.
//
//   offset  size            meaning (little-endian)
//   0       1               mode, 0 to 2
//   1       2               not used
//   3       1               row_speed: idle ticks between two rows
//   4       1               pattern_length: rows per position
//   5       9               channel_delay: ticks each voice's notes are delayed
//   14      1               not used
//   15      2               patch_count
//   17      46 * count      patch records; bytes 11 (key-off ticks), 40 (MIDI
//                           program), 41 (velocity), 43 (transpose) are read
//   then    2               position_count
//   then    27 * count      position records, 3 bytes per voice 0 to 8: pattern
//                           offset in bytes (2, even), transpose (1)
//   then    2               not used
//   then    rest            pattern words (2 each); a last odd byte is ignored

#include "formats/lds/lds_module.h"

namespace seqconv {

namespace {

constexpr std::size_t patch_record_size = 46;
constexpr std::size_t position_record_size = 3 * lds_voice_count;

// The bytes of one patch record that the rendering uses, by their offset.
constexpr std::size_t patch_key_off = 11;
constexpr std::size_t patch_program = 40;
constexpr std::size_t patch_velocity = 41;
constexpr std::size_t patch_transpose = 43;

// A byte of a record already taken whole.
std::uint8_t byte_at(ByteRange record, std::size_t offset) {
    ByteCursor cursor(record);
    std::uint8_t value = 0;
    cursor.skip(offset);
    cursor.u8(value);
    return value;
}

}  // namespace

std::optional<LdsModule> load_lds_module(ByteRange input, Fault* fault) {
    ByteCursor cursor(input);
    LdsModule module;
    std::uint8_t mode = 0;
    std::uint16_t patch_count = 0;
    const auto fail = [&](FaultKind kind, std::size_t offset, const char* reason) -> std::optional<LdsModule> {
        report(fault, kind, offset, reason);
        return std::nullopt;
    };
    const auto cut_off = [&](const char* reason) { return fail(FaultKind::cut_off, cursor.offset(), reason); };
    if (!cursor.u8(mode)) return cut_off("header cut off");
    if (mode > 2) return fail(FaultKind::malformed, 0, "mode above 2");
    if (!cursor.skip(2) || !cursor.u8(module.row_speed) || !cursor.u8(module.pattern_length))
        return cut_off("header cut off");
    for (std::uint8_t& delay : module.channel_delay)
        if (!cursor.u8(delay)) return cut_off("header cut off");
    if (!cursor.skip(1) || !cursor.le16(patch_count)) return cut_off("header cut off");

    if (std::size_t{patch_count} * patch_record_size > cursor.remaining()) return cut_off("patches cut off");
    module.patches.reserve(patch_count);
    for (std::uint16_t i = 0; i < patch_count; ++i) {
        ByteRange record;
        cursor.take(patch_record_size, record);
        module.patches.push_back({byte_at(record, patch_key_off), byte_at(record, patch_program),
                                  byte_at(record, patch_velocity),
                                  static_cast<std::int8_t>(byte_at(record, patch_transpose))});
    }

    if (!cursor.le16(module.position_count)) return cut_off("position count cut off");
    if (module.position_count == 0) return fail(FaultKind::malformed, cursor.offset() - 2, "no positions");
    if (std::size_t{module.position_count} * position_record_size > cursor.remaining())
        return cut_off("positions cut off");
    module.positions.reserve(std::size_t{module.position_count} * lds_voice_count);
    for (std::size_t i = 0; i < std::size_t{module.position_count} * lds_voice_count; ++i) {
        std::uint16_t offset = 0;
        std::uint8_t transpose = 0;
        cursor.le16(offset);
        cursor.u8(transpose);
        if (offset % 2 != 0) return fail(FaultKind::malformed, cursor.offset() - 3, "odd pattern offset");
        module.positions.push_back({static_cast<std::uint16_t>(offset / 2), transpose});
    }

    if (!cursor.skip(2)) return cut_off("file ends before the patterns");
    module.pattern_words_at = cursor.offset();
    module.pattern_words.resize(cursor.remaining() / 2);
    for (std::uint16_t& word : module.pattern_words) cursor.le16(word);
    return module;
}

}  // namespace seqconv
