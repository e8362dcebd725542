#pragma once

#include <optional>
#include <string_view>

#include "formats/byte_cursor.h"
#include "formats/fault.h"
#include "formats/input_format.h"
#include "midi/midi_container.h"

namespace seqconv {

class Workers;

// Format detectors: pure tests on the input's header bytes (LDS also on the
// extension of the input's name). They never fail and change nothing.
bool detect_smf(ByteRange input);
bool detect_rmid(ByteRange input);
bool detect_hmp(ByteRange input);
bool detect_hmi(ByteRange input);
bool detect_xmi(ByteRange input);
bool detect_mus(ByteRange input);
bool detect_mids(ByteRange input);
bool detect_lds(ByteRange input, std::optional<std::string_view> extension);
bool detect_gmf(ByteRange input);

// Readers: fill `song` from the input and return true on success. On
// malformed input they return false and keep in `song` what they added
// before they stopped; they never print. Where `fault` is given, a reader
// that stops at a fault says there what kind it was, at which byte of the
// input and why; it does so also when it returns true but the data ended
// inside an event, which it then leaves out, or inside a part whose length
// the file declares (cut_off, at the input's size). `fault` is left as it is when
// the input was read without fault. The SMF reader, and the RMID reader
// for the file it wraps, decode the tracks of a large file on `workers` when
// given.
bool read_smf(ByteRange input, MidiContainer& song, Fault* fault = nullptr, const Workers* workers = nullptr);
bool read_rmid(ByteRange input, MidiContainer& song, Fault* fault = nullptr, const Workers* workers = nullptr);
bool read_hmp(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_hmi(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_xmi(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_mus(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_mids(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_lds(ByteRange input, MidiContainer& song, Fault* fault = nullptr);
bool read_gmf(ByteRange input, MidiContainer& song, Fault* fault = nullptr);

// The first format, in the order above, that accepts the input; none when no
// format does. `extension` is the text after the last "." of the input's
// name, if any.
std::optional<InputFormat> detect_format(ByteRange input, std::optional<std::string_view> extension);

// Runs the reader of `format` alone on the input.
bool read_format(InputFormat format, ByteRange input, MidiContainer& song, Fault* fault = nullptr,
                 const Workers* workers = nullptr);

// Recognises the input's format and runs that format's reader alone.
// Returns false when no format accepts the input (the song stays empty) or
// when the chosen reader fails.
bool convert_file(ByteRange input, std::optional<std::string_view> extension, MidiContainer& song,
                  Fault* fault = nullptr, const Workers* workers = nullptr);

}  // namespace seqconv
