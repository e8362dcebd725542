#pragma once

// What seqtool needs of folders: their entries listed, output folders made,
// and names resolved to compare places. Failures come with the system's
// reason, as text.

#include <string>
#include <vector>

#include "app/platform/files.h"

namespace seqconv::platform {

struct FolderEntry {
    std::string name;
    Kind kind = Kind::missing;  // links to files are files; links to folders are `other`
};
// The entries of a folder, "." and ".." left out, in no particular order.
bool list_folder(const std::string& name, std::vector<FolderEntry>& entries, std::string& reason);

// Makes the folder and those above it that do not exist yet.
bool make_folders(const std::string& name, std::string& reason);

// The name with every link and "." and ".." of its existing part resolved:
// two names of one place give one text.
std::string resolved(const std::string& name);

}  // namespace seqconv::platform
