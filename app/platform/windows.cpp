// The console and the file core on Windows. The command line is taken from
// the system runtime's wide-character parser with wildcard expansion switched
// on, as UTF-16, and held as UTF-8; file names go back to UTF-16 to be
// opened, so any name the file system holds can be converted. Files are
// open as handles.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/platform/console.h"
#include "app/platform/files.h"
#include "app/platform/folders.h"
#include "app/platform/system.h"

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

std::wstring wide(const std::string& name) { return to_utf16(name.c_str()); }

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

bool error_is_terminal() { return ::_isatty(::_fileno(stderr)) != 0; }

namespace {

// The system's text for an error, without its closing full stop and line end.
std::string system_reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length != 0 && text != nullptr ? to_utf8(text) : "system error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

HANDLE handle(const OpenFile& file) { return reinterpret_cast<HANDLE>(file.native()); }
OpenFile opened(HANDLE handle) { return OpenFile(reinterpret_cast<std::intptr_t>(handle)); }

FileIdentity identity_in(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Names in the device namespace (\\.\pipe\..., \\.\COM1) are never files.
bool in_device_namespace(const std::string& name) {
    return name.rfind("\\\\.\\", 0) == 0 || name.rfind("//./", 0) == 0;
}

// Whether `name` is the plain file `identity` itself. Opened with
// FILE_FLAG_OPEN_REPARSE_POINT, a symbolic link or a junction is the link,
// not its target; `follow` opens the target instead, with write access, and
// empties it when it is that file.
bool names_file(const std::string& name, const FileIdentity& identity, bool follow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const OpenFile file = opened(::CreateFileW(wide(name).c_str(), follow ? GENERIC_WRITE : 0,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, flags, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    const bool same = file && ::GetFileType(handle(file)) == FILE_TYPE_DISK &&
                      ::GetFileInformationByHandle(handle(file), &info) != 0 && identity_in(info) == identity;
    if (same && follow) ::SetEndOfFile(handle(file));  // opened at offset 0
    return same;
}

// Reads and writes of at most 1 GiB at a time, as their lengths are 32 bits.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

DWORD transfer_size(std::size_t size) { return static_cast<DWORD>(std::min(size, largest_transfer)); }

}  // namespace

Look look_at(const std::string& name) {
    if (in_device_namespace(name)) return {Kind::other, "a device, not a file"};
    const DWORD attributes = ::GetFileAttributesW(wide(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {Kind::missing, system_reason(::GetLastError())};
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return {Kind::other, "a device, not a file"};
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {Kind::folder, system_reason(ERROR_DIRECTORY)};
    return {Kind::file, ""};
}

bool OpenFile::close() {
    if (native_ == none) return true;
    return ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(native_, none))) != 0;
}

std::string last_reason() { return system_reason(::GetLastError()); }

// Opened as the runtime opens a stream "rb": shared for reading and writing.
OpenFile open_looked_at(const std::string& name, FileIdentity& identity, std::uint64_t& length, std::string& reason) {
    OpenFile file = opened(::CreateFileW(wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        reason = last_reason();
        return {};
    }
    // NUL, CON and pipes open by plain names too.
    if (::GetFileType(handle(file)) != FILE_TYPE_DISK) {
        reason = "a device, not a file";
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(handle(file), &info) == 0) {
        reason = system_reason(::GetLastError());
        return {};
    }
    identity = identity_in(info);
    length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return file;
}

// Opened as the runtime opens a stream "wb".
OpenFile open_emptied_file(const std::string& name, std::string& reason) {
    OpenFile file = opened(::CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) reason = system_reason(::GetLastError());
    return file;
}

OpenFile create_new_file(const std::string& name, bool& taken, std::string& reason) {
    OpenFile file = opened(
        ::CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = file ? 0 : ::GetLastError();
    taken = error == ERROR_FILE_EXISTS;
    if (!file) reason = system_reason(error);
    return file;
}

std::optional<FileIdentity> identity_of(const OpenFile& file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(handle(file), &info) == 0) return std::nullopt;
    return identity_in(info);
}

std::optional<FileIdentity> plain_identity_of(const OpenFile& file) {
    if (::GetFileType(handle(file)) != FILE_TYPE_DISK) return std::nullopt;
    return identity_of(file);
}

bool length_of(const OpenFile& file, std::uint64_t& length) {
    LARGE_INTEGER size;
    if (::GetFileSizeEx(handle(file), &size) == 0 || size.QuadPart < 0) return false;
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

// A failed call says why through GetLastError; one that read nothing
// without failing is at the end of the file.
Moved read_part(OpenFile& file, std::uint8_t* into, std::size_t size) {
    DWORD part = 0;
    if (::ReadFile(handle(file), into, transfer_size(size), &part, nullptr) == 0) return failure(last_reason());
    return moved(part);
}

Moved write_part(OpenFile& file, const std::uint8_t* from, std::size_t size) {
    DWORD part = 0;
    if (::WriteFile(handle(file), from, transfer_size(size), &part, nullptr) == 0) return failure(last_reason());
    if (part == 0) return failure(system_reason(ERROR_DISK_FULL));
    return moved(part);
}

void empty_file(OpenFile& file) {
    LARGE_INTEGER start{};
    if (::SetFilePointerEx(handle(file), start, nullptr, FILE_BEGIN) != 0) ::SetEndOfFile(handle(file));
}

void empty_named(const std::string& name, const FileIdentity& identity) { names_file(name, identity, true); }

void remove_named(const std::string& name, const FileIdentity& identity) {
    if (names_file(name, identity, false)) ::DeleteFileW(wide(name).c_str());
}

void remove_name(const std::string& name) { ::DeleteFileW(wide(name).c_str()); }

bool rename_over(const std::string& from, const std::string& to, std::string& reason) {
    if (::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
    reason = system_reason(::GetLastError());
    return false;
}

unsigned long process_id() { return ::GetCurrentProcessId(); }

std::filesystem::path path_of(const std::string& name) { return wide(name); }
std::string name_of(const std::filesystem::path& path) { return to_utf8(path.wstring().c_str()); }

bool list_folder(const std::string& name, std::vector<FolderEntry>& entries, std::string& reason) {
    const std::string prefix = name.empty() || name.back() == '/' || name.back() == '\\' ? name : name + "\\";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(wide(prefix + "*").c_str(), &found);
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

}  // namespace seqconv::platform
