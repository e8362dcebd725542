// The file core both programs stand on, and the rules each puts on top of
// it: seqconv's outputs taken away when not whole, seqtool's files read
// whole and replaced whole, the folders it walks. Run in a fresh folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/platform/files.h"
#include "app/platform/folders.h"
#include "app/platform/outputs.h"
#include "app/platform/system.h"
#include "app/platform/whole_files.h"

namespace seqconv::platform {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

std::string reason_of(int error) { return std::strerror(error); }

class Platform : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                ("seqconv-platform-" + std::to_string(::getpid()) + "-" + test->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string path(const std::string& name) const { return (root_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    Names entries() const {
        Names names;
        for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void clear() const {
        for (const auto& entry : fs::directory_iterator(root_)) fs::remove_all(entry.path());
    }
    void make_fifo(const std::string& name) const { ASSERT_EQ(::mkfifo(path(name).c_str(), 0644), 0); }

    fs::path root_;
};

// The loop that moves a file whole, fed the calls a system might make.
TEST(MoveWhole, RepeatsTheCallUntilAllIsMovedAndStopsAtTheFirstThatMovesNothing) {
    struct Case {
        const char* what;
        std::size_t size;
        std::vector<Moved> calls;
        bool whole;
        std::string reason;
        std::vector<std::pair<std::size_t, std::size_t>> asked;  // (done, left) of each call
    };
    const Case cases[] = {
        {"one call moves it all", 10, {moved(10)}, true, "", {{0, 10}}},
        {"parts add up", 10, {moved(4), moved(5), moved(1)}, true, "", {{0, 10}, {4, 6}, {9, 1}}},
        {"nothing to move makes no call", 0, {}, true, "", {}},
        {"a failed call gives the system's reason", 10, {moved(4), failure("Access is denied")}, false,
         "Access is denied", {{0, 10}, {4, 6}}},
        {"a file that ends first is shorter than its size", 10, {moved(4), moved(0)}, false, "shorter than its size",
         {{0, 10}, {4, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::pair<std::size_t, std::size_t>> asked;
        std::string reason;
        const bool whole = move_whole(
            c.size,
            [&](std::size_t done, std::size_t left) {
                asked.emplace_back(done, left);
                return asked.size() <= c.calls.size() ? c.calls[asked.size() - 1] : failure("called again");
            },
            reason);
        EXPECT_EQ(whole, c.whole);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST_F(Platform, OpensOnlyPlainFilesForReadingAndNeverWaits) {
    struct Case {
        const char* what;
        std::function<std::string()> make;  // what to open
        std::string reason;                 // empty: it opens
        std::uint64_t length;
    };
    const Case cases[] = {
        {"a file",
         [&] {
             write("f", "12345");
             return path("f");
         },
         "", 5},
        {"an empty file",
         [&] {
             write("f", "");
             return path("f");
         },
         "", 0},
        {"a symbolic link to a file",
         [&] {
             write("f", "123");
             fs::create_symlink("f", path("l"));
             return path("l");
         },
         "", 3},
        {"a folder",
         [&] {
             fs::create_directory(path("d"));
             return path("d");
         },
         reason_of(EISDIR), 0},
        {"a FIFO",
         [&] {
             make_fifo("p");
             return path("p");
         },
         "a FIFO, not a file", 0},
        {"a device", [] { return std::string("/dev/null"); }, "a device, not a file", 0},
        {"nothing", [&] { return path("missing"); }, reason_of(ENOENT), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        const std::string name = c.make();
        FileIdentity identity;
        std::uint64_t length = 99;
        std::string reason;
        const OpenFile file = open_plain_file(name, identity, length, reason);
        EXPECT_EQ(static_cast<bool>(file), c.reason.empty());
        EXPECT_EQ(reason, c.reason);
        if (file) { EXPECT_EQ(length, c.length); }
    }
}

// One file, whatever name it was opened by.
TEST_F(Platform, IdentityIsTheFilesNotTheNames) {
    struct Case {
        const char* what;
        std::function<void()> make_other;  // "other" beside the file "f"
        bool same;
    };
    const Case cases[] = {
        {"a hard link", [&] { fs::create_hard_link(path("f"), path("other")); }, true},
        {"a symbolic link", [&] { fs::create_symlink("f", path("other")); }, true},
        {"a copy", [&] { fs::copy_file(path("f"), path("other")); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        write("f", "bytes");
        c.make_other();
        FileIdentity of_file, of_other;
        std::uint64_t length = 0;
        std::string reason;
        const OpenFile file = open_plain_file(path("f"), of_file, length, reason);
        const OpenFile other = open_plain_file(path("other"), of_other, length, reason);
        ASSERT_TRUE(file && other);
        EXPECT_EQ(of_file == of_other, c.same);
        EXPECT_EQ(identity_of(file), of_file);
        EXPECT_EQ(plain_identity_of(other), of_other);
    }
}

TEST_F(Platform, ReadsAndWritesWhole) {
    const Bytes bytes{0, 1, 2, 0xFF, 0x80};
    std::optional<FileIdentity> identity;
    std::string reason;
    OpenFile output = open_output_file(path("o"), identity);
    ASSERT_TRUE(output);
    ASSERT_TRUE(write_whole(output, bytes, reason));
    ASSERT_TRUE(close_output_file(std::move(output), path("o"), identity));

    FileIdentity read_identity;
    std::uint64_t length = 0;
    OpenFile input = open_plain_file(path("o"), read_identity, length, reason);
    ASSERT_TRUE(input);
    EXPECT_EQ(read_identity, identity);
    Bytes back(bytes.size() + 1);
    EXPECT_FALSE(read_whole(input, back, reason)) << "one byte more than the file holds";
    EXPECT_EQ(reason, "shorter than its size");
    EXPECT_TRUE(read_file(path("o"), back, reason));
    EXPECT_EQ(back, bytes);
}

// A device taken as an output is written to, and never emptied or removed.
TEST_F(Platform, DeviceOutputIsNeitherEmptiedNorRemoved) {
    std::optional<FileIdentity> identity;
    std::string reason;
    OpenFile output = open_output_file("/dev/null", identity);
    ASSERT_TRUE(output);
    EXPECT_FALSE(plain_identity_of(output));
    EXPECT_TRUE(write_whole(output, Bytes(10, 1), reason));
    discard_output_file(std::move(output), "/dev/null");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(Platform, ReadFileRefusesWhatIsNotAFile) {
    make_fifo("p");
    fs::create_directory(path("d"));
    struct Case {
        std::string name;
        std::string reason;
    };
    const Case cases[] = {
        {path("p"), "a FIFO, not a file"},
        {path("d"), reason_of(EISDIR)},
        {path("missing"), reason_of(ENOENT)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes;
        std::string reason;
        EXPECT_FALSE(read_file(c.name, bytes, reason));
        EXPECT_EQ(reason, c.reason);
    }
}

// Whole or not at all: the new file beside the name is renamed over it only
// once it holds everything, and never stays behind.
TEST_F(Platform, ReplaceFileWritesWholeOrNotAtAll) {
    struct Case {
        const char* what;
        std::function<void()> before;
        std::string name;
        bool replaced;
        std::string reason;
        Names left;
    };
    const Case cases[] = {
        {"a new name", [] {}, "o", true, "", {"o"}},
        {"over an earlier file", [&] { write("o", "an earlier, longer file"); }, "o", true, "", {"o"}},
        {"in a folder that does not exist", [] {}, "missing/o", false, reason_of(ENOENT), {}},
        {"over a folder", [&] { fs::create_directories(path("o/inner")); }, "o", false, reason_of(EISDIR), {"o"}},
    };
    const Bytes bytes{'M', 'T', 'h', 'd'};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        c.before();
        std::string reason;
        EXPECT_EQ(replace_file(path(c.name), bytes, reason), c.replaced);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(entries(), c.left);
        if (c.replaced) { EXPECT_EQ(read(c.name), "MThd"); }
    }
}

TEST(TemporaryName, StandsBesideTheNameAndIsKnownAgain) {
    struct Case {
        std::string name;
        std::string temporary;
    };
    const Case cases[] = {
        {"song.mid", ".song.mid.12-3.part"},
        {"a/b/song.mid", "a/b/.song.mid.12-3.part"},
        {"a\\song.mid", "a\\.song.mid.12-3.part"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string temporary = temporary_name(c.name, 12, 3);
        EXPECT_EQ(temporary, c.temporary);
        EXPECT_TRUE(is_temporary_name(temporary.substr(temporary.find_last_of("/\\") + 1)));
    }
    for (const std::string base : {"song.mid", "song.part", ".song.part", ".part", "song.mid.12-3.part"}) {
        SCOPED_TRACE(base);
        EXPECT_FALSE(is_temporary_name(base));
    }
}

// Links are followed to files, never to folders, so a walk cannot go round.
TEST_F(Platform, FolderEntriesHaveTheirKinds) {
    write("file", "x");
    fs::create_directory(path("folder"));
    fs::create_symlink("file", path("link to file"));
    fs::create_symlink("folder", path("link to folder"));
    fs::create_symlink("missing", path("broken link"));
    make_fifo("fifo");
    std::vector<FolderEntry> entries;
    std::string reason;
    ASSERT_TRUE(list_folder(root_.string(), entries, reason));
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    std::vector<std::pair<std::string, Kind>> kinds;
    for (const FolderEntry& entry : entries) kinds.emplace_back(entry.name, entry.kind);
    const std::vector<std::pair<std::string, Kind>> expected{
        {"broken link", Kind::other}, {"fifo", Kind::other},          {"file", Kind::file},
        {"folder", Kind::folder},     {"link to file", Kind::file}, {"link to folder", Kind::other},
    };
    EXPECT_EQ(kinds, expected);
    EXPECT_FALSE(list_folder(path("missing"), entries, reason));
    EXPECT_EQ(reason, reason_of(ENOENT));
}

TEST_F(Platform, MakeFoldersMakesEveryMissingFolderOrSaysWhyNot) {
    std::string reason;
    EXPECT_TRUE(make_folders(path("a/b/c"), reason));
    EXPECT_TRUE(fs::is_directory(path("a/b/c")));
    EXPECT_TRUE(make_folders(path("a/b"), reason)) << "folders that exist already";
    write("file", "x");
    EXPECT_FALSE(make_folders(path("file/d"), reason));
    EXPECT_EQ(reason, reason_of(ENOTDIR));
}

TEST_F(Platform, ResolvedNamesOfOnePlaceAreOneText) {
    fs::create_directories(path("a/b"));
    fs::create_symlink("a", path("link"));
    const std::string place = resolved(path("a/b"));
    for (const std::string name : {"a/b", "a/./b", "a/b/../b", "link/b"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(resolved(path(name)), place);
    }
    EXPECT_NE(resolved(path("a")), place);
}

}  // namespace
}  // namespace seqconv::platform
