#include "app/platform/transfer.h"

namespace seqconv::platform {

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
