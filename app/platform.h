#pragma once

// What the batch driver needs from the operating system: the command line
// as UTF-8 strings with wildcard patterns expanded, and files opened by
// UTF-8 name.

#include <cstdint>
#include <cstdio>
#include <optional>
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

// The length of an open file, by seeking to its end and back to its start.
bool file_length(std::FILE* file, std::uint64_t& length);

// What one file is, whatever name it was opened by: its volume and its number
// there. Two hard links, or a symbolic link and its target, are one file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Opens an output file by its UTF-8 name, "wb" (created, or emptied) and
// unbuffered, as it is written whole with one call; null on failure. Sets
// `identity` to the file's identity, or empties it when the system cannot
// tell.
std::FILE* open_output_file(const std::string& name, std::optional<FileIdentity>& identity);

// Opens an input, "rb" and unbuffered (it is read whole with one call), only
// when it is a plain file on disk: opening or reading a pipe or a device
// could block, or take data that is not a file's. Gives its identity and
// length (as they are now: a file read later is measured again); null
// otherwise, and on failure.
std::FILE* open_regular_file(const std::string& name, FileIdentity& identity, std::uint64_t& length);

// An output that does not hold a whole conversion is taken away: the open
// file is emptied (truncated to 0 bytes), so that no name leading to it shows
// partial data, and closed; then the name it was opened by is removed, but
// only while it still names that very file itself. A symbolic link named so
// is the user's and stays, pointing at the emptied file; other hard links of
// the file keep it, empty; a device is neither emptied nor removed.
void discard_output_file(std::FILE* file, const std::string& name);

// Closes an output written whole; true when it stands. A close that fails
// (a network file system may find only then that the data did not fit)
// leaves the file as `discard_output_file` does, emptied through its name;
// `opened` is the identity open_output_file gave (none: left as it is).
bool close_output_file(std::FILE* file, const std::string& name, const std::optional<FileIdentity>& opened);

}  // namespace seqconv::platform

// What seqtool needs besides: names looked at, folders listed and made,
// files read whole and outputs replaced whole. Failures come with the
// system's reason, as text.
namespace seqconv::platform {

enum class Kind { file, folder, other, missing };

// A name as the file system has it, links followed; for `other` and
// `missing`, why it is not a file (the system's reason for a missing one).
struct Look {
    Kind kind = Kind::missing;
    std::string reason;
};
Look look_at(const std::string& name);

struct FolderEntry {
    std::string name;
    Kind kind = Kind::missing;  // links to files are files; links to folders are `other`
};
// The entries of a folder, "." and ".." left out, in no particular order.
bool list_folder(const std::string& name, std::vector<FolderEntry>& entries, std::string& reason);

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
inline std::string temporary_name(const std::string& name, unsigned long process, unsigned count) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return name.substr(0, base) + "." + name.substr(base) + "." + std::to_string(process) + "-" +
           std::to_string(count) + ".part";
}
inline bool is_temporary_name(const std::string& base) {
    const std::string suffix = ".part";
    return base.size() > 1 + suffix.size() && base[0] == '.' &&
           base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           base.find(".mid.") != std::string::npos;
}

// Makes the folder and those above it that do not exist yet.
bool make_folders(const std::string& name, std::string& reason);

// The name with every link and "." and ".." of its existing part resolved:
// two names of one place give one text.
std::string resolved(const std::string& name);

bool error_is_terminal();

}  // namespace seqconv::platform
