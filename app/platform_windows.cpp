// Arguments and files on Windows. The command line is taken from the system
// runtime's wide-character parser with wildcard expansion switched on, as
// UTF-16, and held as UTF-8; file names go back to UTF-16 to be opened, so
// any name the file system holds can be converted.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"

namespace seqconv::platform {

namespace {

// The runtime's start-up record: the new-handler mode for malloc, 0 here.
struct StartupInfo {
    int newmode;
};

// __wgetmainargs(argc, argv, envp, expand wildcards, start-up record).
using WideMainArgs = int(__cdecl*)(int*, wchar_t***, wchar_t***, int, StartupInfo*);

constexpr int expand_wildcards = 1;

class Library {
public:
    explicit Library(const char* name) : handle_(::LoadLibraryA(name)) {}
    ~Library() {
        if (handle_ != nullptr) ::FreeLibrary(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    HMODULE get() const { return handle_; }

private:
    HMODULE handle_;
};

// UTF-16 to UTF-8: the length with the NUL first, then the text into a
// zero-filled buffer one byte longer, then a copy of the text itself.
std::string to_utf8(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), length + 1, nullptr, nullptr);
    return std::string(buffer.data());
}

// UTF-8 (or another code page) to UTF-16, the same way round.
std::wstring to_utf16(const char* text, UINT code_page = CP_UTF8) {
    const int length = ::MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    ::MultiByteToWideChar(code_page, 0, text, -1, buffer.data(), length + 1);
    return std::wstring(buffer.data());
}

}  // namespace

// The runtime's own arguments (`argc`, `argv`) are in the ANSI code page and
// unexpanded; they serve only if the system runtime cannot be asked.
std::vector<std::string> acquire_arguments(int argc, char** argv) {
    std::vector<std::string> args;
    {
        const Library runtime("msvcrt.dll");
        // GetProcAddress gives a generic function pointer; void(*)() stands
        // between it and the parser's real type.
        const auto parse = runtime.get() == nullptr ? nullptr
                                                    : reinterpret_cast<WideMainArgs>(reinterpret_cast<void (*)()>(
                                                          ::GetProcAddress(runtime.get(), "__wgetmainargs")));
        if (parse != nullptr) {
            int count = 0;
            wchar_t** wide_args = nullptr;
            wchar_t** wide_env = nullptr;
            StartupInfo startup{0};
            parse(&count, &wide_args, &wide_env, expand_wildcards, &startup);
            if (wide_args != nullptr && count > 0) {
                args.reserve(static_cast<std::size_t>(count));
                for (int i = 0; i < count; ++i) args.push_back(to_utf8(wide_args[i] != nullptr ? wide_args[i] : L""));
                return args;
            }
        }
    }
    for (int i = 0; i < argc; ++i) args.push_back(argv[i] != nullptr ? to_utf8(to_utf16(argv[i], CP_ACP).c_str()) : "");
    return args;
}

namespace {

bool file_identity(std::FILE* file, FileIdentity& identity) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileInformationByHandle(handle, &info) == 0) return false;
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

// Opens a file by its UTF-8 name with a stdio mode ("rb", "wb").
std::FILE* open_file(const std::string& name, const char* mode) {
    std::wstring wide_mode;
    for (const char* c = mode; *c != '\0'; ++c) wide_mode.push_back(static_cast<wchar_t>(*c));
    return ::_wfopen(to_utf16(name.c_str()).c_str(), wide_mode.c_str());
}

}  // namespace

std::FILE* open_output_file(const std::string& name, std::optional<FileIdentity>& identity) {
    std::FILE* file = open_file(name, "wb");
    if (file != nullptr && std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
        std::fclose(file);
        return nullptr;
    }
    FileIdentity known;
    if (file != nullptr && file_identity(file, known)) identity = known;
    return file;
}

bool file_length(std::FILE* file, std::uint64_t& length) {
    if (::_fseeki64(file, 0, SEEK_END) != 0) return false;
    const __int64 end = ::_ftelli64(file);
    if (end < 0 || ::_fseeki64(file, 0, SEEK_SET) != 0) return false;
    length = static_cast<std::uint64_t>(end);
    return true;
}

// Names in the device namespace (\\.\pipe\..., \\.\COM1) and anything the
// file system does not call a file are left to their turn; an open file must
// be on disk, not a console, a pipe or a character device such as NUL.
std::FILE* open_regular_file(const std::string& name, FileIdentity& identity, std::uint64_t& length) {
    if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("//./", 0) == 0) return nullptr;
    const std::wstring wide = to_utf16(name.c_str());
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return nullptr;
    std::FILE* file = ::_wfopen(wide.c_str(), L"rb");
    if (file == nullptr) return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        ::GetFileInformationByHandle(handle, &info) == 0 || std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
        std::fclose(file);
        return nullptr;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return file;
}

namespace {

// The identity of a file on disk open as `file`; false for a console, a
// pipe or a device, which are never emptied or removed by name.
bool disk_file_identity(std::FILE* file, FileIdentity& identity) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK && file_identity(file, identity);
}

// Whether `name` is the file `written` itself. Opened with
// FILE_FLAG_OPEN_REPARSE_POINT, a symbolic link or a junction is the link,
// not its target; `follow` opens the target instead, with write access, and
// empties it when it is that file.
bool names_file(const std::wstring& name, const FileIdentity& written, bool follow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = ::CreateFileW(name.c_str(), follow ? GENERIC_WRITE : 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool same = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) != 0 &&
                      FileIdentity{info.dwVolumeSerialNumber,
                                   (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow} ==
                          written;
    if (same && follow) ::SetEndOfFile(handle);  // opened at offset 0
    ::CloseHandle(handle);
    return same;
}

}  // namespace

void discard_output_file(std::FILE* file, const std::string& name) {
    FileIdentity written;
    const bool known = disk_file_identity(file, written);
    if (known) static_cast<void>(::_chsize_s(::_fileno(file), 0));
    std::fclose(file);
    const std::wstring wide = to_utf16(name.c_str());
    if (known && names_file(wide, written, false)) ::DeleteFileW(wide.c_str());
}

bool close_output_file(std::FILE* file, const std::string& name, const std::optional<FileIdentity>& opened) {
    if (std::fclose(file) == 0) return true;
    const std::wstring wide = to_utf16(name.c_str());
    if (opened && names_file(wide, *opened, true) && names_file(wide, *opened, false)) ::DeleteFileW(wide.c_str());
    return false;
}

namespace {

// The system's text for an error, without its closing full stop and line end.
std::string system_reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length != 0 && text != nullptr ? to_utf8(text) : "system error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.' ||
                               reason.back() == ' '))
        reason.pop_back();
    return reason;
}

bool in_device_namespace(const std::string& name) { return name.rfind("\\\\.\\", 0) == 0 || name.rfind("//./", 0) == 0; }

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool close() { return ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

private:
    HANDLE handle_;
};

// Reads and writes of at most 1 GiB at a time, as their lengths are 32 bits.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

}  // namespace

Look look_at(const std::string& name) {
    if (in_device_namespace(name)) return {Kind::other, "a device, not a file"};
    const DWORD attributes = ::GetFileAttributesW(to_utf16(name.c_str()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {Kind::missing, system_reason(::GetLastError())};
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return {Kind::other, "a device, not a file"};
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {Kind::folder, ""};
    return {Kind::file, ""};
}

bool list_folder(const std::string& name, std::vector<FolderEntry>& entries, std::string& reason) {
    const std::string prefix = name.empty() || name.back() == '/' || name.back() == '\\' ? name : name + "\\";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(to_utf16((prefix + "*").c_str()).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        reason = system_reason(::GetLastError());
        return false;
    }
    DWORD error = 0;
    do {
        const std::string child = to_utf8(found.cFileName);
        if (child == "." || child == "..") continue;
        Kind kind = Kind::file;
        // A link or junction to a folder is not followed: a walk that
        // followed them could go round for ever.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            kind = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Kind::other : Kind::folder;
        else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
            kind = Kind::other;
        entries.push_back({child, kind});
    } while (::FindNextFileW(search, &found) != 0);
    error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
        reason = system_reason(error);
        return false;
    }
    return true;
}

bool read_file(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& reason) {
    const Look look = look_at(name);
    if (look.kind != Kind::file) {
        reason = look.kind == Kind::folder ? system_reason(ERROR_DIRECTORY) : look.reason;
        return false;
    }
    const Handle file(::CreateFileW(to_utf16(name.c_str()).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (file.get() == INVALID_HANDLE_VALUE || ::GetFileSizeEx(file.get(), &size) == 0) {
        reason = system_reason(::GetLastError());
        return false;
    }
    // NUL, CON and pipes open by plain names too.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        reason = "a device, not a file";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    for (std::size_t got = 0; got < bytes.size();) {
        DWORD part = 0;
        const auto want = static_cast<DWORD>(std::min(bytes.size() - got, largest_transfer));
        if (::ReadFile(file.get(), bytes.data() + got, want, &part, nullptr) == 0 || part == 0) {
            reason = part == 0 ? "shorter than its size" : system_reason(::GetLastError());
            return false;
        }
        got += part;
    }
    return true;
}

bool replace_file(const std::string& name, const std::vector<std::uint8_t>& bytes, std::string& reason) {
    static std::atomic<unsigned> count{0};
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; created == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temporary = to_utf16(temporary_name(name, ::GetCurrentProcessId(), count++).c_str());
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        error = created == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
        if (error != 0 && error != ERROR_FILE_EXISTS) break;
    }
    if (created == INVALID_HANDLE_VALUE) {
        reason = system_reason(error);
        return false;
    }
    Handle output(created);
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        DWORD part = 0;
        const auto want = static_cast<DWORD>(std::min(bytes.size() - done, largest_transfer));
        if (::WriteFile(output.get(), bytes.data() + done, want, &part, nullptr) == 0 || part == 0)
            error = part == 0 && ::GetLastError() == 0 ? ERROR_DISK_FULL : ::GetLastError();
        done += part;
    }
    if (!output.close() && error == 0) error = ::GetLastError();
    if (error == 0 && ::MoveFileExW(temporary.c_str(), to_utf16(name.c_str()).c_str(), MOVEFILE_REPLACE_EXISTING) == 0)
        error = ::GetLastError();
    if (error != 0) {
        ::DeleteFileW(temporary.c_str());
        reason = system_reason(error);
    }
    return error == 0;
}

bool make_folders(const std::string& name, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(to_utf16(name.c_str())), error);
    if (error) reason = error.message();
    return !error;
}

std::string resolved(const std::string& name) {
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(to_utf16(name.c_str()), error), error);
    return error ? name : to_utf8(path.wstring().c_str());
}

bool error_is_terminal() { return ::_isatty(::_fileno(stderr)) != 0; }

}  // namespace seqconv::platform
