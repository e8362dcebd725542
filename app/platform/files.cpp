// The parts of the file core that are the same on every system.

#include "app/platform/files.h"

#include "app/platform/system.h"

namespace seqconv::platform {

bool OpenFile::close(std::string& reason) {
    if (close()) return true;
    reason = last_reason();
    return false;
}

OpenFile open_plain_file(const std::string& name, FileIdentity& identity, std::uint64_t& length, std::string& reason) {
    const Look look = look_at(name);
    if (look.kind != Kind::file) {
        reason = look.reason;
        return {};
    }
    return open_looked_at(name, identity, length, reason);
}

bool read_whole(OpenFile& file, std::span<std::uint8_t> bytes, std::string& reason) {
    return move_whole(
        bytes.size(), [&](std::size_t done, std::size_t left) { return read_part(file, bytes.data() + done, left); },
        reason);
}

bool write_whole(OpenFile& file, std::span<const std::uint8_t> bytes, std::string& reason) {
    return move_whole(
        bytes.size(), [&](std::size_t done, std::size_t left) { return write_part(file, bytes.data() + done, left); },
        reason);
}

}  // namespace seqconv::platform
