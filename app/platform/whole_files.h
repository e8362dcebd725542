#pragma once

// seqtool's files: inputs read whole, and outputs written whole or not at
// all. Failures come with the system's reason, as text.

#include <cstdint>
#include <string>
#include <vector>

namespace seqconv::platform {

// The input's bytes, read whole, only when it is a plain file: a FIFO or a
// device is refused without being read, and never blocks.
bool read_file(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& reason);

// Writes `bytes` as the file `name`, whole or not at all: into a new file
// in the same folder, renamed over `name` only once all of it is written.
// On failure nothing is left behind and a file of that name stays as it was.
bool replace_file(const std::string& name, const std::vector<std::uint8_t>& bytes, std::string& reason);

// The new file replace_file writes first, beside `name`: ".BASE.P-N.part",
// P the process and N a count. A run cut short may leave one behind, which
// later runs pass over.
std::string temporary_name(const std::string& name, unsigned long process, unsigned count);
// Whether a folder entry's name is one that temporary_name gives for an
// output (a ".mid" file).
bool is_temporary_name(const std::string& base);

}  // namespace seqconv::platform
