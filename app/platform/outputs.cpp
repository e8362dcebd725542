#include "app/platform/outputs.h"

namespace seqconv::platform {

OpenFile open_output_file(const std::string& name, std::optional<FileIdentity>& identity) {
    std::string reason;
    OpenFile file = open_emptied_file(name, reason);
    if (file) identity = identity_of(file);
    return file;
}

void discard_output_file(OpenFile file, const std::string& name) {
    const std::optional<FileIdentity> written = plain_identity_of(file);
    if (written) empty_file(file);
    file.close();
    if (written) remove_named(name, *written);
}

bool close_output_file(OpenFile file, const std::string& name, const std::optional<FileIdentity>& opened) {
    if (file.close()) return true;
    if (opened) {
        empty_named(name, *opened);
        remove_named(name, *opened);
    }
    return false;
}

}  // namespace seqconv::platform
