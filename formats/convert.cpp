#include <cstddef>
#include <cstdint>
#include <iterator>

#include "formats/readers.h"

namespace seqconv {

namespace {

// The bytes `tag` at `offset`, with the input long enough to hold them.
bool has_at(ByteRange input, std::size_t offset, std::string_view tag) {
    ByteCursor cursor(input);
    return cursor.skip(offset) && cursor.looking_at(tag);
}

// A little-endian field at `offset`, 0 where the input is too short (the
// detectors check the size first).
template <typename T>
std::uint64_t field_at(ByteRange input, std::size_t offset, bool (ByteCursor::*read)(T&)) {
    ByteCursor cursor(input);
    T value = 0;
    if (!cursor.skip(offset) || !(cursor.*read)(value)) return 0;
    return value;
}

std::uint64_t le16_at(ByteRange input, std::size_t offset) { return field_at(input, offset, &ByteCursor::le16); }
std::uint64_t le32_at(ByteRange input, std::size_t offset) { return field_at(input, offset, &ByteCursor::le32); }

ByteRange from(ByteRange input, std::size_t offset) {
    ByteCursor cursor(input);
    cursor.seek(offset);
    return cursor.take_at_most(cursor.remaining());
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

using Detector = bool (*)(ByteRange, std::optional<std::string_view>);
using Reader = bool (*)(ByteRange, MidiContainer&, Fault*);

template <bool (*detect)(ByteRange)>
bool by_contents(ByteRange input, std::optional<std::string_view>) {
    return detect(input);
}

struct Format {
    InputFormat format;
    std::string_view name;
    Detector detect;
    Reader read;
};

// Asked in this order; the first format that accepts the input decides.
constexpr Format formats[] = {
    {InputFormat::smf, "SMF", by_contents<detect_smf>, read_smf},
    {InputFormat::rmid, "RMID", by_contents<detect_rmid>, read_rmid},
    {InputFormat::hmp, "HMP", by_contents<detect_hmp>, read_hmp},
    {InputFormat::hmi, "HMI", by_contents<detect_hmi>, read_hmi},
    {InputFormat::xmi, "XMI", by_contents<detect_xmi>, read_xmi},
    {InputFormat::mus, "MUS", by_contents<detect_mus>, read_mus},
    {InputFormat::mids, "MIDS", by_contents<detect_mids>, read_mids},
    {InputFormat::lds, "LDS", detect_lds, read_lds},
    {InputFormat::gmf, "GMF", by_contents<detect_gmf>, read_gmf},
};

// The table's rows stand in the order of the enumeration.
constexpr bool rows_follow_the_enumeration() {
    for (std::size_t i = 0; i < std::size(formats); ++i)
        if (static_cast<std::size_t>(formats[i].format) != i) return false;
    return true;
}
static_assert(rows_follow_the_enumeration());

const Format& row_of(InputFormat format) { return formats[static_cast<std::size_t>(format)]; }

}  // namespace

bool detect_smf(ByteRange input) {
    return input.size() >= 18 && has_at(input, 0, std::string_view("MThd\0\0\0\6", 8)) && has_at(input, 14, "MTrk");
}

// A RIFF form "RMID" whose first chunk is a "data" chunk that begins with a
// Standard MIDI File header followed directly by a track chunk.
bool detect_rmid(ByteRange input) {
    const std::uint64_t size = input.size();
    if (size < 20 || !has_at(input, 0, "RIFF") || !has_at(input, 8, "RMIDdata")) return false;
    const std::uint64_t riff_size = le32_at(input, 4);
    const std::uint64_t data_size = le32_at(input, 16);
    return riff_size >= 12 && size >= riff_size + 8 && data_size >= 18 && size >= data_size + 20 &&
           riff_size >= data_size + 12 && detect_smf(from(input, 20));
}

bool detect_hmp(ByteRange input) {
    return input.size() >= 8 && has_at(input, 0, "HMIMIDI") && (has_at(input, 7, "P") || has_at(input, 7, "R"));
}

bool detect_hmi(ByteRange input) { return input.size() >= 12 && has_at(input, 0, "HMI-MIDISONG"); }

bool detect_xmi(ByteRange input) {
    return input.size() >= 34 && has_at(input, 0, "FORM") && has_at(input, 8, "XDIR") && has_at(input, 30, "XMID");
}

// The header holds the score's length and start and the instrument count;
// the instrument list of 16-bit numbers lies between the 16-byte header and
// the score, padded to at most twice its size.
bool detect_mus(ByteRange input) {
    const std::uint64_t size = input.size();
    if (size < 32 || !has_at(input, 0, "MUS\x1A")) return false;
    const std::uint64_t score_length = le16_at(input, 4);
    const std::uint64_t score_start = le16_at(input, 6);
    const std::uint64_t instruments = le16_at(input, 12);
    return 16 + 2 * instruments <= score_start && score_start < 16 + 4 * instruments &&
           score_start + score_length <= size;
}

bool detect_mids(ByteRange input) {
    const std::uint64_t size = input.size();
    if (size < 16 || !has_at(input, 0, "RIFF") || !has_at(input, 8, "MIDSfmt ")) return false;
    const std::uint64_t riff_size = le32_at(input, 4);
    return riff_size >= 8 && size >= riff_size + 8;
}

// LDS modules carry no magic; they are known by the name's extension and a
// first byte (the sound mode) of 0, 1 or 2.
bool detect_lds(ByteRange input, std::optional<std::string_view> extension) {
    if (!extension || !equals_ignoring_ascii_case(*extension, "LDS")) return false;
    ByteCursor cursor(input);
    std::uint8_t mode = 0;
    return cursor.u8(mode) && mode <= 2;
}

bool detect_gmf(ByteRange input) { return input.size() >= 32 && has_at(input, 0, "GMF\x01"); }

std::string_view format_name(InputFormat format) { return row_of(format).name; }

std::optional<InputFormat> detect_format(ByteRange input, std::optional<std::string_view> extension) {
    for (const Format& row : formats)
        if (row.detect(input, extension)) return row.format;
    return std::nullopt;
}

bool read_format(InputFormat format, ByteRange input, MidiContainer& song, Fault* fault) {
    return row_of(format).read(input, song, fault);
}

bool convert_file(ByteRange input, std::optional<std::string_view> extension, MidiContainer& song, Fault* fault) {
    const std::optional<InputFormat> format = detect_format(input, extension);
    return format && read_format(*format, input, song, fault);
}

}  // namespace seqconv
