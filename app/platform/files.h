#pragma once

// The one core of file input and output that both programs stand on, one
// for each system (posix.cpp, windows.cpp): files named in UTF-8, open as
// the system's own descriptors or handles, read and written whole, and
// failures told with the system's reason, as text. seqconv's rules for its
// outputs (outputs.h) and seqtool's for reading and replacing files
// (whole_files.h) are written once, on top of it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace seqconv::platform {

// What one file is, whatever name it was opened by: its volume and its number
// there. Two hard links, or a symbolic link and its target, are one file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class Kind { file, folder, other, missing };

// A name as the file system has it, links followed; for every kind but
// `file`, why it is not a file (the system's reason for a folder or a
// missing name).
struct Look {
    Kind kind = Kind::missing;
    std::string reason;
};
Look look_at(const std::string& name);

// An open file: a descriptor, or on Windows a handle, closed when it goes.
class OpenFile {
public:
    OpenFile() = default;
    explicit OpenFile(std::intptr_t native) : native_(native) {}
    ~OpenFile() { close(); }
    OpenFile(OpenFile&& other) noexcept : native_(std::exchange(other.native_, none)) {}
    OpenFile& operator=(OpenFile&& other) noexcept {
        if (this != &other) {
            close();
            native_ = std::exchange(other.native_, none);
        }
        return *this;
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    explicit operator bool() const { return native_ != none; }
    std::intptr_t native() const { return native_; }

    // Closes it, whatever happens. False when the system says the close
    // failed: a network file system may find only then that the data did
    // not fit.
    bool close();
    bool close(std::string& reason);

private:
    // What the system gives for no file: -1 as a descriptor, and as a
    // handle INVALID_HANDLE_VALUE.
    static constexpr std::intptr_t none = -1;
    std::intptr_t native_ = none;
};

// Opens a file for reading, only when it is a plain file on disk: opening or
// reading a pipe or a device could block, or take data that is not a file's.
// The name is looked at before it is opened, as opening a device can have
// effects of its own; the open file is looked at again, and a FIFO put there
// meanwhile does not block the open. Gives the file's identity and its
// length as they are now.
OpenFile open_plain_file(const std::string& name, FileIdentity& identity, std::uint64_t& length, std::string& reason);

// Opens `name` for writing as it stands: a file created, or emptied when it
// exists; a device or a FIFO is opened as what it is.
OpenFile open_emptied_file(const std::string& name, std::string& reason);

// Creates the file `name` for writing, only when nothing has that name yet;
// `taken` tells whether something had.
OpenFile create_new_file(const std::string& name, bool& taken, std::string& reason);

// The identity of an open file; none when the system cannot tell.
std::optional<FileIdentity> identity_of(const OpenFile& file);
// The identity of an open file only when it is a plain file on disk, not a
// console, a pipe or a device.
std::optional<FileIdentity> plain_identity_of(const OpenFile& file);

// The length of an open file as it is now.
bool length_of(const OpenFile& file, std::uint64_t& length);

// Fills `bytes` from the file's current place on. A file that ends first
// fails as "shorter than its size".
bool read_whole(OpenFile& file, std::span<std::uint8_t> bytes, std::string& reason);
// Writes all of `bytes`; a disk that takes nothing more fails as full.
bool write_whole(OpenFile& file, std::span<const std::uint8_t> bytes, std::string& reason);

// Cuts an open file to 0 bytes.
void empty_file(OpenFile& file);
// Cuts to 0 bytes the file that `name` leads to, links followed, only when
// that is the plain file `identity`.
void empty_named(const std::string& name, const FileIdentity& identity);
// Removes `name` only while it names the plain file `identity` itself: a
// symbolic link named so is not that file, and stays.
void remove_named(const std::string& name, const FileIdentity& identity);
// Removes `name`, whatever it is.
void remove_name(const std::string& name);
// Renames `from` to `to`, replacing a file named `to`.
bool rename_over(const std::string& from, const std::string& to, std::string& reason);

unsigned long process_id();

// A UTF-8 name as a path of the standard library, and back.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);

}  // namespace seqconv::platform
