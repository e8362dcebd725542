#pragma once

// seqconv's outputs. Each is opened by its name as it stands, created or
// emptied, and written whole; one that does not come to hold a whole
// conversion is taken away, so that no name leading to it shows partial
// data.

#include <optional>
#include <string>

#include "app/platform/files.h"

namespace seqconv::platform {

// Opens an output file for writing, created or emptied; none on failure.
// Sets `identity` to the file's identity, or empties it when the system
// cannot tell.
OpenFile open_output_file(const std::string& name, std::optional<FileIdentity>& identity);

// Takes away an output that does not hold a whole conversion: the open file
// is emptied and closed; then the name it was opened by is removed, but only
// while it still names that very file itself. A symbolic link named so is
// the user's and stays, pointing at the emptied file; other hard links of
// the file keep it, empty; a device is neither emptied nor removed.
void discard_output_file(OpenFile file, const std::string& name);

// Closes an output written whole; true when it stands. A close that fails
// leaves the file as discard_output_file does, emptied through its name;
// `opened` is the identity open_output_file gave (none: left as it is).
bool close_output_file(OpenFile file, const std::string& name, const std::optional<FileIdentity>& opened);

}  // namespace seqconv::platform
