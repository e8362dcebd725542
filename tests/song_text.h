#pragma once

// Tests that write their inputs as hex text and the songs read as one line.

#include <sstream>
#include <string>

#include "test_support.h"

namespace seqconv::test {

// "00 90 3C" gives the bytes 00 90 3C.
inline Bytes hex(const std::string& text) {
    std::istringstream in(text);
    Bytes out;
    for (unsigned byte = 0; in >> std::hex >> byte;) out.push_back(std::uint8_t(byte));
    return out;
}

// A reader's result and the song it made: "true" or "false", then ": " and
// the tracks, apart by " | ", their events (as describe writes them) by ", ".
inline std::string song_text(bool ok, const MidiContainer& song) {
    std::string out = ok ? "true" : "false";
    for (std::size_t i = 0; i < song.track_count(); ++i) {
        out += i == 0 ? ": " : " | ";
        for (const std::string& event : describe(song.track(i))) out += (out.back() == ' ' ? "" : ", ") + event;
    }
    return out;
}

}  // namespace seqconv::test
