#include "app/platform/folders.h"

#include <filesystem>
#include <system_error>

namespace seqconv::platform {

bool make_folders(const std::string& name, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(path_of(name), error);
    if (error) reason = error.message();
    return !error;
}

std::string resolved(const std::string& name) {
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path_of(name), error), error);
    return error ? name : name_of(path);
}

}  // namespace seqconv::platform
