#pragma once

// What both programs take from their console: the command line, and whether
// standard error is a terminal.

#include <string>
#include <vector>

namespace seqconv::platform {

// The arguments, the program's name first, as UTF-8 strings, wildcard
// patterns replaced by the names they match and kept as they are when they
// match nothing. On Windows the system runtime parses and expands the
// command line itself (`argc` and `argv` serve only if it cannot be had).
// Elsewhere an argument that names an existing file is kept as it is and any
// other holding a wildcard is replaced by its matches in sorted order.
std::vector<std::string> acquire_arguments(int argc, char** argv);

bool error_is_terminal();

}  // namespace seqconv::platform
