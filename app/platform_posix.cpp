// Arguments and files on POSIX systems: arguments arrive as bytes (UTF-8)
// and file names go to the file system unchanged.

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

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

namespace {

std::string system_reason(int error) { return std::strerror(error); }

Kind kind_of(mode_t mode) {
    if (S_ISREG(mode)) return Kind::file;
    if (S_ISDIR(mode)) return Kind::folder;
    return Kind::other;
}

std::string why_not_a_file(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    return "not a file";
}

// Descriptors closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Opens a plain file for reading and gives what fstat says of it; -1 and
// why for anything else. The name is looked at before it is opened, as
// opening a device can have effects of its own; O_NONBLOCK keeps a FIFO put
// there meanwhile from blocking the open, and the open file is looked at
// again.
int open_plain_file(const std::string& name, struct stat& info, std::string& reason) {
    if (::stat(name.c_str(), &info) != 0) {
        reason = system_reason(errno);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? system_reason(EISDIR) : why_not_a_file(info.st_mode);
        return -1;
    }
    Descriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        reason = system_reason(errno);
        return -1;
    }
    if (!S_ISREG(info.st_mode) || info.st_size < 0) {
        reason = why_not_a_file(info.st_mode);
        return -1;
    }
    return fd.release();
}

}  // namespace

std::FILE* open_regular_file(const std::string& name, FileIdentity& identity, std::uint64_t& length) {
    struct stat info;
    std::string reason;
    const int fd = open_plain_file(name, info, reason);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
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

// Whether `name`, `follow`ed through symbolic links or not, is the plain
// file `written` itself: only such a file is ever emptied or removed by its
// name.
bool names_file(const std::string& name, const FileIdentity& written, bool follow) {
    struct stat named;
    return (follow ? ::stat(name.c_str(), &named) : ::lstat(name.c_str(), &named)) == 0 && S_ISREG(named.st_mode) &&
           FileIdentity{static_cast<std::uint64_t>(named.st_dev), static_cast<std::uint64_t>(named.st_ino)} == written;
}

}  // namespace

void discard_output_file(std::FILE* file, const std::string& name) {
    struct stat written;
    const bool known = ::fstat(::fileno(file), &written) == 0 && S_ISREG(written.st_mode);
    if (known) static_cast<void>(::ftruncate(::fileno(file), 0));
    std::fclose(file);
    const FileIdentity identity{static_cast<std::uint64_t>(written.st_dev), static_cast<std::uint64_t>(written.st_ino)};
    if (known && names_file(name, identity, false)) ::unlink(name.c_str());
}

bool close_output_file(std::FILE* file, const std::string& name, const std::optional<FileIdentity>& opened) {
    if (std::fclose(file) == 0) return true;
    if (opened && names_file(name, *opened, true)) static_cast<void>(::truncate(name.c_str(), 0));
    if (opened && names_file(name, *opened, false)) ::unlink(name.c_str());
    return false;
}


Look look_at(const std::string& name) {
    struct stat info;
    if (::stat(name.c_str(), &info) != 0) return {Kind::missing, system_reason(errno)};
    const Kind kind = kind_of(info.st_mode);
    return {kind, kind == Kind::other ? why_not_a_file(info.st_mode) : std::string()};
}

bool list_folder(const std::string& name, std::vector<FolderEntry>& entries, std::string& reason) {
    DIR* folder = ::opendir(name.c_str());
    if (folder == nullptr) {
        reason = system_reason(errno);
        return false;
    }
    const std::string prefix = name.empty() || name.back() == '/' ? name : name + "/";
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..") continue;
        struct stat info;
        Kind kind = Kind::missing;
        if (::lstat((prefix + child).c_str(), &info) == 0) {
            kind = kind_of(info.st_mode);
            // A link is followed to a file, never to a folder: a walk that
            // followed links could go round for ever.
            if (S_ISLNK(info.st_mode))
                kind = ::stat((prefix + child).c_str(), &info) == 0 && S_ISREG(info.st_mode) ? Kind::file : Kind::other;
        }
        entries.push_back({child, kind});
        errno = 0;
    }
    const int error = errno;
    ::closedir(folder);
    if (error != 0) reason = system_reason(error);
    return error == 0;
}

bool read_file(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& reason) {
    struct stat info;
    const Descriptor fd(open_plain_file(name, info, reason));
    if (fd.get() < 0) return false;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t part = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (part < 0 && errno == EINTR) continue;
        if (part <= 0) {
            reason = part < 0 ? system_reason(errno) : "shorter than its size";
            return false;
        }
        got += static_cast<std::size_t>(part);
    }
    return true;
}

bool replace_file(const std::string& name, const std::vector<std::uint8_t>& bytes, std::string& reason) {
    // A name of its own in the output's folder, so that the rename stays on
    // one file system; the process and a count keep threads and runs apart.
    static std::atomic<unsigned> count{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = temporary_name(name, static_cast<unsigned long>(::getpid()), count++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        reason = system_reason(errno);
        return false;
    }
    Descriptor output(fd);
    int error = 0;
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t part = ::write(output.get(), bytes.data() + done, bytes.size() - done);
        if (part > 0)
            done += static_cast<std::size_t>(part);
        else if (part == 0)
            error = ENOSPC;
        else if (errno != EINTR)
            error = errno;
    }
    if (::close(output.release()) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), name.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        reason = system_reason(error);
    }
    return error == 0;
}

bool make_folders(const std::string& name, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(name, error);
    if (error) reason = system_reason(error.value());
    return !error;
}

std::string resolved(const std::string& name) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
    return error ? name : path.string();
}

bool error_is_terminal() { return ::isatty(2) == 1; }

}  // namespace seqconv::platform
