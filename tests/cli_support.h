#pragma once

// Running a built program as a user runs it: in a fresh folder of its own,
// its standard output and error taken whole, its exit status, and the
// files it leaves behind.
//
// One harness serves the Linux and the Windows programs. An environment
// variable names the program to run (the Linux build by default), and
// SEQCONV_LAUNCHER, when set, the command that starts it (wine for an
// .exe). A program whose name ends in ".exe" is held to the Windows
// console's conventions: its text ends its lines in "\r\n".

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace cli {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

struct Result {
    int status = -1;  // the exit status, or minus the signal that ended it
    std::string out;
    std::string err;
};

// What runs: the launcher's words, if any, then the program.
struct Target {
    std::vector<std::string> command;
    bool windows = false;
};

// A command named without a folder is looked for in PATH, as a shell does.
inline std::string find_in_path(const std::string& command) {
    if (command.find('/') != std::string::npos) return fs::absolute(command).string();
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / command;
        if (::access(candidate.c_str(), X_OK) == 0) return fs::absolute(candidate).string();
    }
    return command;
}

// The program that `variable` names, or `built` by default.
inline Target target_of(const char* variable, const std::string& built) {
    Target out;
    if (const char* launcher = std::getenv("SEQCONV_LAUNCHER")) {
        std::istringstream words(launcher);
        for (std::string word; words >> word;) out.command.push_back(word);
        if (!out.command.empty()) out.command[0] = find_in_path(out.command[0]);
    }
    const char* program = std::getenv(variable);
    const std::string name = program != nullptr && *program != '\0' ? program : built;
    std::string suffix = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    out.windows = suffix == ".exe";
    out.command.push_back(fs::absolute(name).string());
    return out;
}

// Text as a program writes it: the Windows runtime ends its lines in "\r\n".
inline std::string lines(const Target& target, const std::string& text) {
    if (!target.windows) return text;
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Limits the program runs under; 0 for none.
struct Limits {
    rlim_t address_space = 0;
    rlim_t file_size = 0;  // writes past it fail, as on a full disk
};

class Folder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::path(::testing::TempDir()) / "seqconv-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr) << "mkdtemp failed, errno " << errno;
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Runs `target` on `args` in the test's folder.
    Result run_target(const Target& target, const Names& args, const Limits& limits = {}) const {
        std::vector<std::string> strings = target.command;
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        const std::string folder = dir_.string();

        int out_pipe[2], err_pipe[2];
        if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return {};
        }
        const int null_input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec. A write
            // past the file-size limit fails with EFBIG once SIGXFSZ, which
            // would end the program, is ignored (as exec keeps it).
            const rlimit address{limits.address_space, limits.address_space};
            const rlimit size{limits.file_size, limits.file_size};
            if (::dup2(null_input, 0) < 0 || ::dup2(out_pipe[1], 1) < 0 || ::dup2(err_pipe[1], 2) < 0 ||
                ::chdir(folder.c_str()) != 0 ||
                (limits.address_space != 0 && ::setrlimit(RLIMIT_AS, &address) != 0) ||
                (limits.file_size != 0 && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &size) != 0)))
                ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(null_input);
        ::close(out_pipe[1]);
        ::close(err_pipe[1]);

        // The run is over when the program has ended and its pipes are
        // drained, not when they close: a process the launcher starts
        // beside the program (a Wine service, say) may hold them open.
        Result result;
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int wait_status = 0;
        bool ended = pid < 0, reaped = false, killed = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            const int ready = ::poll(fds, 2, ended ? 0 : 50);
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0 && ended) break;
            for (int i = 0; ready > 0 && i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                }
            }
            if (!ended) {
                const pid_t done = ::waitpid(pid, &wait_status, WNOHANG);
                ended = reaped = done == pid;
                if (done < 0) ended = true;
                if (done == 0 && !killed && std::chrono::steady_clock::now() > deadline) {
                    ADD_FAILURE() << "still running after a minute: killed";
                    killed = ::kill(pid, SIGKILL) == 0;
                }
            }
        }
        for (const pollfd& fd : fds)
            if (fd.fd >= 0) ::close(fd.fd);

        if (pid < 0 || (!reaped && ::waitpid(pid, &wait_status, 0) != pid)) {
            ADD_FAILURE() << "could not start or wait for " << target.command.back();
            return result;
        }
        result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -WTERMSIG(wait_status);
        return result;
    }

    fs::path path(const std::string& name) const { return dir_ / name; }

    void write_file(const std::string& name, const std::string& content) const {
        std::ofstream file(path(name), std::ios::binary);
        file << content;
        ASSERT_TRUE(file.good()) << name;
    }
    std::string read_file(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool exists(const std::string& name) const { return fs::exists(fs::symlink_status(path(name))); }
    void make_folder(const std::string& name) const { ASSERT_TRUE(fs::create_directory(path(name))) << name; }

    // The names in the test's folder or one of its subfolders, sorted.
    Names entries(const std::string& sub = "") const {
        Names names;
        for (const fs::directory_entry& entry : fs::directory_iterator(sub.empty() ? dir_ : path(sub)))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

}  // namespace cli
