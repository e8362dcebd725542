// The console and the file core on POSIX systems: arguments arrive as bytes
// (UTF-8), file names go to the file system unchanged, and files are open as
// descriptors.

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/platform/console.h"
#include "app/platform/files.h"
#include "app/platform/folders.h"
#include "app/platform/system.h"

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

bool error_is_terminal() { return ::isatty(2) == 1; }

namespace {

std::string system_reason(int error) { return std::strerror(error); }

int descriptor(const OpenFile& file) { return static_cast<int>(file.native()); }

FileIdentity identity_in(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

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

// Whether `name`, `follow`ed through symbolic links or not, is the plain
// file `identity` itself: only such a file is ever emptied or removed by its
// name.
bool names_file(const std::string& name, const FileIdentity& identity, bool follow) {
    struct stat named;
    return (follow ? ::stat(name.c_str(), &named) : ::lstat(name.c_str(), &named)) == 0 && S_ISREG(named.st_mode) &&
           identity_in(named) == identity;
}

}  // namespace

Look look_at(const std::string& name) {
    struct stat info;
    if (::stat(name.c_str(), &info) != 0) return {Kind::missing, system_reason(errno)};
    switch (kind_of(info.st_mode)) {
        case Kind::file:
            return {Kind::file, ""};
        case Kind::folder:
            return {Kind::folder, system_reason(EISDIR)};
        default:
            return {Kind::other, why_not_a_file(info.st_mode)};
    }
}

bool OpenFile::close() {
    if (native_ == none) return true;
    return ::close(static_cast<int>(std::exchange(native_, none))) == 0;
}

std::string last_reason() { return system_reason(errno); }

// O_NONBLOCK keeps a FIFO put in the file's place after it was looked at
// from blocking the open; a plain file reads as ever.
OpenFile open_looked_at(const std::string& name, FileIdentity& identity, std::uint64_t& length, std::string& reason) {
    OpenFile file(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file || ::fstat(descriptor(file), &info) != 0) {
        reason = system_reason(errno);
        return {};
    }
    if (!S_ISREG(info.st_mode) || info.st_size < 0) {
        reason = why_not_a_file(info.st_mode);
        return {};
    }
    identity = identity_in(info);
    length = static_cast<std::uint64_t>(info.st_size);
    return file;
}

OpenFile open_emptied_file(const std::string& name, std::string& reason) {
    OpenFile file(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file) reason = system_reason(errno);
    return file;
}

OpenFile create_new_file(const std::string& name, bool& taken, std::string& reason) {
    OpenFile file(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    taken = !file && errno == EEXIST;
    if (!file) reason = system_reason(errno);
    return file;
}

std::optional<FileIdentity> identity_of(const OpenFile& file) {
    struct stat info;
    if (::fstat(descriptor(file), &info) != 0) return std::nullopt;
    return identity_in(info);
}

std::optional<FileIdentity> plain_identity_of(const OpenFile& file) {
    struct stat info;
    if (::fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return identity_in(info);
}

bool length_of(const OpenFile& file, std::uint64_t& length) {
    struct stat info;
    if (::fstat(descriptor(file), &info) != 0 || info.st_size < 0) return false;
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

Moved read_part(OpenFile& file, std::uint8_t* into, std::size_t size) {
    for (;;) {
        const ssize_t part = ::read(descriptor(file), into, size);
        if (part >= 0) return moved(static_cast<std::size_t>(part));
        if (errno != EINTR) return failure(last_reason());
    }
}

Moved write_part(OpenFile& file, const std::uint8_t* from, std::size_t size) {
    for (;;) {
        const ssize_t part = ::write(descriptor(file), from, size);
        if (part > 0) return moved(static_cast<std::size_t>(part));
        if (part == 0) return failure(system_reason(ENOSPC));
        if (errno != EINTR) return failure(last_reason());
    }
}

void empty_file(OpenFile& file) { static_cast<void>(::ftruncate(descriptor(file), 0)); }

void empty_named(const std::string& name, const FileIdentity& identity) {
    if (names_file(name, identity, true)) static_cast<void>(::truncate(name.c_str(), 0));
}

void remove_named(const std::string& name, const FileIdentity& identity) {
    if (names_file(name, identity, false)) ::unlink(name.c_str());
}

void remove_name(const std::string& name) { ::unlink(name.c_str()); }

bool rename_over(const std::string& from, const std::string& to, std::string& reason) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    reason = system_reason(errno);
    return false;
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

std::filesystem::path path_of(const std::string& name) { return name; }
std::string name_of(const std::filesystem::path& path) { return path.string(); }

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

}  // namespace seqconv::platform
