#pragma once

// The bytes that music files are made of: integers of both byte orders,
// variable-length quantities, and the chunks of the three chunk families
// (Standard MIDI File, RIFF, IFF) with their padding. Standard library
// only: it writes files, it never reads them.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<std::uint8_t>;

inline Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) append(out, part);
    return out;
}

inline Bytes be16(std::uint32_t v) { return {std::uint8_t(v >> 8), std::uint8_t(v)}; }
inline Bytes be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
inline Bytes le16(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
inline Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

// A variable-length quantity: 7-bit groups, most significant first, the
// high bit set on all but the last.
inline void put_vlq(Bytes& out, std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = std::uint8_t(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) out.push_back(std::uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}
inline Bytes vlq(std::uint32_t v) {
    Bytes out;
    put_vlq(out, v);
    return out;
}

// HMP's delta time: 7-bit groups least significant first, the high bit set
// on the last one only.
inline void put_hmp_delta(Bytes& out, std::uint32_t v) {
    for (; v > 0x7F; v >>= 7) out.push_back(std::uint8_t(v & 0x7F));
    out.push_back(std::uint8_t(0x80 | v));
}
inline Bytes hmp_delta(std::uint32_t v) {
    Bytes out;
    put_hmp_delta(out, v);
    return out;
}

// A chunk of a Standard MIDI File ("MThd", "MTrk"): id, big-endian size,
// body, never padded.
inline Bytes be_chunk(std::string_view id, const Bytes& body) {
    return cat({text(id), be32(std::uint32_t(body.size())), body});
}
// An IFF chunk: as above, with a pad byte after an odd size.
inline Bytes iff_chunk(std::string_view id, const Bytes& body) {
    Bytes out = be_chunk(id, body);
    if (body.size() % 2 != 0) out.push_back(0);
    return out;
}
// An IFF container ("FORM", "CAT "): its type, then its chunks.
inline Bytes iff_container(std::string_view id, std::string_view type, const Bytes& children) {
    return iff_chunk(id, cat({text(type), children}));
}
// A RIFF chunk: id, little-endian size, body, a pad byte after an odd size.
inline Bytes riff_chunk(std::string_view id, const Bytes& body) {
    Bytes out = cat({text(id), le32(std::uint32_t(body.size())), body});
    if (body.size() % 2 != 0) out.push_back(0);
    return out;
}
// A whole RIFF file: the form type, then its chunks, the size counting
// exactly them (the chunks carry their own padding).
inline Bytes riff(std::string_view form, const Bytes& chunks) {
    return cat({text("RIFF"), le32(std::uint32_t(4 + chunks.size())), text(form), chunks});
}

// The file with its last `count` bytes cut off.
inline Bytes cut_off(Bytes file, std::size_t count) {
    file.resize(file.size() > count ? file.size() - count : 0);
    return file;
}

}  // namespace testkit
