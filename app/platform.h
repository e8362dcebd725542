#pragma once

// What the batch driver needs from the operating system: the command line
// as UTF-8 strings with wildcard patterns expanded, and files opened by
// UTF-8 name.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace seqconv::platform {

// The arguments, the program's name first, as UTF-8 strings. An argument
// that names an existing file is kept as it is; any other holding a wildcard
// is replaced by the names it matches, in sorted order, and kept as it is
// when it matches nothing.
std::vector<std::string> acquire_arguments(int argc, char** argv);

// Opens a file by its UTF-8 name with a stdio mode ("rb", "wb"); null on
// failure.
std::FILE* open_file(const std::string& name, const char* mode);

// The length of an open file, by seeking to its end and back to its start.
bool file_length(std::FILE* file, std::uint64_t& length);

}  // namespace seqconv::platform
