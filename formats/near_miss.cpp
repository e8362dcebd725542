// What makes an input resemble a format: the first four bytes of its
// signature (for RIFF files, "RIFF" and the form type at 8). What then
// makes the detector refuse it is told in the order the detector's tests
// read the header: a wrong signature byte or size first, where the bytes
// are there to be wrong, then a file shorter than it declares or than the
// header takes.

#include "formats/near_miss.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/readers.h"

namespace seqconv {

namespace {

// The first byte from `offset` on where the input differs from `tag`; none
// when every byte of `tag` the input holds matches (also when it holds none).
std::optional<std::size_t> mismatch(ByteRange input, std::size_t offset, std::string_view tag) {
    ByteCursor cursor(input);
    if (!cursor.skip(offset)) return std::nullopt;
    for (std::size_t i = 0; i < tag.size(); ++i) {
        std::uint8_t byte = 0;
        if (!cursor.u8(byte)) return std::nullopt;
        if (byte != static_cast<std::uint8_t>(tag[i])) return offset + i;
    }
    return std::nullopt;
}

bool begins(ByteRange input, std::string_view magic) {
    return input.size() >= magic.size() && !mismatch(input, 0, magic);
}

std::uint64_t le_at(ByteRange input, std::size_t offset, std::size_t width) {
    ByteCursor cursor(input);
    std::uint64_t value = 0;
    if (!cursor.skip(offset)) return 0;
    if (width == 2) {
        std::uint16_t v = 0;
        cursor.le16(v);
        value = v;
    } else {
        std::uint32_t v = 0;
        cursor.le32(v);
        value = v;
    }
    return value;
}

std::optional<NearMiss> malformed(InputFormat format, std::size_t offset, std::string reason) {
    return NearMiss{format, Fault{FaultKind::malformed, offset, std::move(reason)}};
}

std::optional<NearMiss> cut_off(InputFormat format, ByteRange input, std::string reason) {
    return NearMiss{format, Fault{FaultKind::cut_off, input.size(), std::move(reason)}};
}

// "an XMI file cut off: it holds 20 bytes of at least 34"
std::optional<NearMiss> too_short(InputFormat format, ByteRange input, std::string_view file, std::uint64_t least) {
    return cut_off(format, input,
                   std::string(file) + " cut off: it holds " + with_thousands(input.size()) + " bytes of at least " +
                       with_thousands(least));
}

// "a RIFF RMID file cut off: it declares 92,466 bytes and holds 40,000"
std::optional<NearMiss> short_of(InputFormat format, ByteRange input, std::string_view file, std::uint64_t declared) {
    return cut_off(format, input,
                   std::string(file) + " cut off: it declares " + with_thousands(declared) + " bytes and holds " +
                       with_thousands(input.size()));
}

std::optional<NearMiss> smf_miss(ByteRange input) {
    constexpr InputFormat smf = InputFormat::smf;
    if (!begins(input, "MThd")) return std::nullopt;
    if (mismatch(input, 4, std::string_view("\0\0\0\6", 4)))
        return malformed(smf, 4, "a Standard MIDI File whose header length is not 6");
    if (mismatch(input, 14, "MTrk")) return malformed(smf, 14, "a Standard MIDI File without MTrk at byte 14");
    if (input.size() < 18) return too_short(smf, input, "a Standard MIDI File", 18);
    return std::nullopt;
}

// The RIFF size R counts the bytes after its own field: the file declares
// R + 8 bytes in all. RMID and MIDS share the form's header: "RIFF", R
// (at least `least`), the form type and the id of the chunk that must come
// first. Whether the input is a RIFF form of that type; `miss` says why its
// header is refused, if it is.
bool riff_form(ByteRange input, InputFormat format, std::string_view type, std::uint64_t least, std::string_view first,
               std::optional<NearMiss>& miss) {
    if (!begins(input, "RIFF") || input.size() < 12 || mismatch(input, 8, type)) return false;
    const std::string file = "a RIFF " + std::string(type) + " file";
    const std::uint64_t riff_size = le_at(input, 4, 4);
    if (riff_size < least)
        miss = malformed(format, 4, file + " whose RIFF size is below " + std::to_string(least));
    else if (riff_size + 8 > input.size())
        miss = short_of(format, input, file, riff_size + 8);
    else if (mismatch(input, 12, first))
        miss =
            malformed(format, 12, file + " whose first chunk is not " + std::string(first.substr(0, first.find(' '))));
    return true;
}

std::optional<NearMiss> rmid_miss(ByteRange input) {
    constexpr InputFormat rmid = InputFormat::rmid;
    constexpr std::string_view file = "a RIFF RMID file";
    std::optional<NearMiss> miss;
    if (!riff_form(input, rmid, "RMID", 12, "data", miss) || miss) return miss;
    const std::uint64_t riff_size = le_at(input, 4, 4);
    const std::uint64_t data_size = le_at(input, 16, 4);
    if (data_size < 18)
        return malformed(rmid, 16, std::string(file) + " whose data chunk is too small for a Standard MIDI File");
    if (data_size + 20 > input.size())
        return cut_off(rmid, input,
                       std::string(file) + " cut off: its data chunk declares " + with_thousands(data_size) +
                           " bytes and " + with_thousands(input.size() - 20) + " remain");
    if (riff_size < data_size + 12)
        return malformed(rmid, 16, std::string(file) + " whose data chunk runs past its RIFF form");
    ByteCursor embedded(input);
    embedded.skip(20);
    if (!detect_smf(embedded.take_at_most(embedded.remaining())))
        return malformed(rmid, 20, std::string(file) + " whose data chunk holds no Standard MIDI File");
    return std::nullopt;
}

std::optional<NearMiss> hmp_miss(ByteRange input) {
    constexpr InputFormat hmp = InputFormat::hmp;
    if (!begins(input, "HMIM")) return std::nullopt;
    if (const auto at = mismatch(input, 0, "HMIMIDI"))
        return malformed(hmp, *at, "an HMP file without HMIMIDI at the start");
    if (input.size() < 8) return too_short(hmp, input, "an HMP file", 8);
    return malformed(hmp, 7, "an HMP file of neither variant P nor R");
}

std::optional<NearMiss> hmi_miss(ByteRange input) {
    constexpr InputFormat hmi = InputFormat::hmi;
    if (!begins(input, "HMI-")) return std::nullopt;
    if (const auto at = mismatch(input, 0, "HMI-MIDISONG"))
        return malformed(hmi, *at, "an HMI file without HMI-MIDISONG at the start");
    return too_short(hmi, input, "an HMI file", 12);
}

std::optional<NearMiss> xmi_miss(ByteRange input) {
    constexpr InputFormat xmi = InputFormat::xmi;
    if (!begins(input, "FORM")) return std::nullopt;
    if (mismatch(input, 8, "XDIR")) return malformed(xmi, 8, "a FORM without XDIR at byte 8");
    if (mismatch(input, 30, "XMID")) return malformed(xmi, 30, "an XMI file without XMID at byte 30");
    return too_short(xmi, input, "an XMI file", 34);
}

// The score lies between the instrument list, padded to at most twice its
// size, and the end of the file.
std::optional<NearMiss> mus_miss(ByteRange input) {
    constexpr InputFormat mus = InputFormat::mus;
    if (!begins(input, "MUS\x1A")) return std::nullopt;
    const std::uint64_t score_length = le_at(input, 4, 2);
    const std::uint64_t score_start = le_at(input, 6, 2);
    if (input.size() >= 14) {
        const std::uint64_t instruments = le_at(input, 12, 2);
        if (score_start < 16 + 2 * instruments || score_start >= 16 + 4 * instruments)
            return malformed(mus, 6, "a MUS file whose score does not start behind its instrument list");
    }
    if (input.size() >= 8 && score_start + score_length > input.size())
        return short_of(mus, input, "a MUS file", score_start + score_length);
    if (input.size() < 32) return too_short(mus, input, "a MUS file", 32);
    return std::nullopt;
}

std::optional<NearMiss> mids_miss(ByteRange input) {
    std::optional<NearMiss> miss;
    riff_form(input, InputFormat::mids, "MIDS", 8, "fmt ", miss);
    return miss;
}

std::optional<NearMiss> gmf_miss(ByteRange input) {
    if (!begins(input, "GMF\x01") || input.size() >= 32) return std::nullopt;
    return too_short(InputFormat::gmf, input, "a GMF file", 32);
}

}  // namespace

std::optional<NearMiss> find_near_miss(ByteRange input) {
    if (detect_format(input, std::nullopt)) return std::nullopt;
    for (const auto miss : {smf_miss, rmid_miss, hmp_miss, hmi_miss, xmi_miss, mus_miss, mids_miss, gmf_miss})
        if (std::optional<NearMiss> found = miss(input)) return found;
    return std::nullopt;
}

}  // namespace seqconv
