// Arguments and files on POSIX systems: arguments arrive as bytes (UTF-8)
// and file names go to the file system unchanged.

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/platform.h"

namespace seqconv::platform {

namespace {

bool names_existing_file(const std::string& name) {
    struct stat info;
    return ::stat(name.c_str(), &info) == 0;
}

bool has_wildcard(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

// A pattern that reached the program unexpanded (the shell left it alone
// because it was quoted) is expanded here, as the Windows runtime does.
void expand(const std::string& pattern, std::vector<std::string>& out) {
    glob_t matches{};
    if (::glob(pattern.c_str(), 0, nullptr, &matches) == 0 && matches.gl_pathc != 0) {
        for (std::size_t i = 0; i < matches.gl_pathc; ++i) out.emplace_back(matches.gl_pathv[i]);
    } else {
        out.push_back(pattern);
    }
    ::globfree(&matches);
}

}  // namespace

std::vector<std::string> acquire_arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        // Names like "Track [Live].mid" were expanded by the shell already
        // and must not be expanded twice.
        if (i == 0 || names_existing_file(arg) || !has_wildcard(arg))
            args.push_back(arg);
        else
            expand(arg, args);
    }
    return args;
}

std::FILE* open_file(const std::string& name, const char* mode) {
    std::FILE* file = std::fopen(name.c_str(), mode);
    // A directory opens for reading here but not on Windows; neither is a
    // file to convert.
    struct stat info;
    if (file != nullptr && (::fstat(::fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool file_length(std::FILE* file, std::uint64_t& length) {
    if (::fseeko(file, 0, SEEK_END) != 0) return false;
    const off_t end = ::ftello(file);
    if (end < 0 || ::fseeko(file, 0, SEEK_SET) != 0) return false;
    length = static_cast<std::uint64_t>(end);
    return true;
}

std::FILE* open_output_file(const std::string& name, std::optional<FileIdentity>& identity) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    struct stat info;
    if (file != nullptr &&
        (::fstat(::fileno(file), &info) != 0 || S_ISDIR(info.st_mode) || std::setvbuf(file, nullptr, _IONBF, 0) != 0)) {
        std::fclose(file);
        return nullptr;
    }
    if (file != nullptr)
        identity = FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return file;
}

// The name is looked at before it is opened, as opening a device can have
// effects of its own; O_NONBLOCK keeps a pipe put there meanwhile from
// blocking the open, and the open file is looked at again.
std::FILE* open_regular_file(const std::string& name, FileIdentity& identity, std::uint64_t& length) {
    struct stat info;
    if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* file = nullptr;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0) file = ::fdopen(fd, "rb");
    if (file == nullptr || std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
        if (file != nullptr)
            std::fclose(file);
        else
            ::close(fd);
        return nullptr;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    length = static_cast<std::uint64_t>(info.st_size);
    return file;
}

namespace {

// Whether `name` is the file `written` itself, `follow` through symbolic
// links or not; only a plain file is ever emptied or removed by its name.
bool names_file(const std::string& name, const struct stat& written, bool follow) {
    struct stat named;
    return S_ISREG(written.st_mode) && (follow ? ::stat(name.c_str(), &named) : ::lstat(name.c_str(), &named)) == 0 &&
           named.st_dev == written.st_dev && named.st_ino == written.st_ino;
}

}  // namespace

void discard_output_file(std::FILE* file, const std::string& name) {
    struct stat written;
    const bool known = ::fstat(::fileno(file), &written) == 0;
    if (known && S_ISREG(written.st_mode)) static_cast<void>(::ftruncate(::fileno(file), 0));
    std::fclose(file);
    if (known && names_file(name, written, false)) ::unlink(name.c_str());
}

bool close_output_file(std::FILE* file, const std::string& name) {
    struct stat written;
    const bool known = ::fstat(::fileno(file), &written) == 0;
    if (std::fclose(file) == 0) return true;
    if (known && names_file(name, written, true)) static_cast<void>(::truncate(name.c_str(), 0));
    if (known && names_file(name, written, false)) ::unlink(name.c_str());
    return false;
}

}  // namespace seqconv::platform
