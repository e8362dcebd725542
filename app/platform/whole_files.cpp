#include "app/platform/whole_files.h"

#include <atomic>

#include "app/platform/files.h"

namespace seqconv::platform {

bool read_file(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& reason) {
    FileIdentity identity;
    std::uint64_t length = 0;
    OpenFile file = open_plain_file(name, identity, length, reason);
    if (!file) return false;
    bytes.resize(static_cast<std::size_t>(length));
    return read_whole(file, bytes, reason);
}

bool replace_file(const std::string& name, const std::vector<std::uint8_t>& bytes, std::string& reason) {
    // A name of its own in the output's folder, so that the rename stays on
    // one file system; the process and a count keep threads and runs apart.
    static std::atomic<unsigned> count{0};
    std::string temporary;
    OpenFile output;
    bool taken = true;
    for (int attempt = 0; !output && taken && attempt < 100; ++attempt) {
        temporary = temporary_name(name, process_id(), count++);
        output = create_new_file(temporary, taken, reason);
    }
    if (!output) return false;
    const bool written = write_whole(output, bytes, reason);
    std::string closing;
    const bool closed = output.close(closing);
    if (written && !closed) reason = closing;
    const bool replaced = written && closed && rename_over(temporary, name, reason);
    if (!replaced) remove_name(temporary);
    return replaced;
}

std::string temporary_name(const std::string& name, unsigned long process, unsigned count) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return name.substr(0, base) + "." + name.substr(base) + "." + std::to_string(process) + "-" +
           std::to_string(count) + ".part";
}

bool is_temporary_name(const std::string& base) {
    const std::string suffix = ".part";
    return base.size() > 1 + suffix.size() && base[0] == '.' &&
           base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           base.find(".mid.") != std::string::npos;
}

}  // namespace seqconv::platform
