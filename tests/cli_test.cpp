// The seqconv program as a user runs it: every test starts the built program
// in a fresh folder of its own and checks its standard error byte for byte,
// that nothing goes to standard output, the exit status and the files left
// behind (which exist, their sizes and, where it matters, their contents).
//
// One suite serves the Linux and the Windows program (cli_support.h):
// SEQCONV_PROGRAM names the program to run. The few cases that cannot
// happen alike on Windows are skipped with the reason.

#include "cli_support.h"

// The address and thread sanitizers reserve more address space than the
// tests that run the program under a limit allow.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SEQCONV_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SEQCONV_TEST_SANITIZED 1
#endif
#endif

namespace {

namespace fs = std::filesystem;
using cli::Names;
using cli::Result;

// A form 0 Standard MIDI File of one track: two notes, the first on `key`.
// Such a file is written back byte for byte by a conversion.
std::string song(unsigned char key = 0x3C) {
    const std::string header("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
    const std::string body{0x00, char(0x90), char(key), 0x64, 0x60, 0x3E, 0x64, 0x00, char(0xFF), 0x2F, 0x00};
    return header + "MTrk" + std::string("\0\0\0", 3) + char(body.size()) + body;
}

// A form 0 Standard MIDI File of one track holding `notes` notes, each on
// and off again: 8 bytes a note, about 6 in the output.
std::string long_song(int notes) {
    std::string body;
    for (int i = 0; i < notes; ++i) body += std::string{0x00, char(0x90), 0x3C, 0x64, 0x10, char(0x80), 0x3C, 0x40};
    body += std::string{0x00, char(0xFF), 0x2F, 0x00};
    const auto size = static_cast<std::uint32_t>(body.size());
    const std::string length{char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
    return std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14) + "MTrk" + length + body;
}

// The same song split into form 1: all its events are on channel 0, so it
// still has one track, now without a conductor track.
std::string promoted(unsigned char key = 0x3C) {
    std::string image = song(key);
    image[9] = 1;
    return image;
}

const std::string usage =
    "Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n";

const cli::Target& target() {
    static const cli::Target chosen = cli::target_of("SEQCONV_PROGRAM", SEQCONV_PROGRAM);
    return chosen;
}

std::string lines(const std::string& text) { return cli::lines(target(), text); }

class Cli : public cli::Folder {
protected:
    // Runs the program on `args` in the test's folder; a nonzero
    // `address_space` limits the program's address space to that many bytes,
    // and a nonzero `file_size` the size of the files it writes (a write
    // past it fails, as on a full disk).
    Result run(const Names& args, rlim_t address_space = 0, rlim_t file_size = 0) const {
        return run_target(target(), args, {address_space, file_size});
    }
};

void expect_result(const Result& result, int status, const std::string& err) {
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(result.err, lines(err));
    EXPECT_EQ(result.out, "");
}

TEST_F(Cli, WithoutArgumentsPrintsUsageAndFails) {
    expect_result(run({}), 1, usage);
    EXPECT_EQ(entries(), Names{});
}

TEST_F(Cli, OptionAloneConvertsNothing) {
    write_file("a.mid", song());
    expect_result(run({"-1"}), 0, "");
    EXPECT_EQ(entries(), Names{"a.mid"});
}

TEST_F(Cli, ConvertsEachInputToItsNamePlusMid) {
    write_file("a.mid", song(0x3C));
    write_file("b", song(0x40));
    expect_result(run({"a.mid", "b"}), 0, "");
    EXPECT_EQ(entries(), (Names{"a.mid", "a.mid.mid", "b", "b.mid"}));
    EXPECT_EQ(read_file("a.mid.mid"), song(0x3C));
    EXPECT_EQ(read_file("b.mid"), song(0x40));
}

TEST_F(Cli, OptionPromotesEveryFileWhereverItStands) {
    write_file("a.mid", song(0x3C));
    write_file("b.mid", song(0x40));
    expect_result(run({"a.mid", "-1", "b.mid"}), 0, "");
    EXPECT_EQ(read_file("a.mid.mid"), promoted(0x3C));
    EXPECT_EQ(read_file("b.mid.mid"), promoted(0x40));
    EXPECT_FALSE(exists("-1.mid"));
}

TEST_F(Cli, SecondOptionIsAnInputName) {
    write_file("a.mid", song(0x3C));
    write_file("b.mid", song(0x40));
    expect_result(run({"-1", "a.mid", "-1", "b.mid"}), 1, "Unable to open input file: -1\n");
    EXPECT_EQ(read_file("a.mid.mid"), promoted(0x3C));
    EXPECT_EQ(entries(), (Names{"a.mid", "a.mid.mid", "b.mid"}));
}

TEST_F(Cli, InputInFolderWithDotInItsName) {
    make_folder("x.y");
    write_file("x.y/z", song());
    expect_result(run({"x.y/z"}), 0, "");
    EXPECT_EQ(entries(), Names{"x.y"});
    EXPECT_EQ(entries("x.y"), (Names{"z", "z.mid"}));
    EXPECT_EQ(read_file("x.y/z.mid"), song());
}

TEST_F(Cli, UnrecognisedInputsGiveEmptyOutputs) {
    write_file("empty.bin", "");
    write_file("notes.txt", "MThd is not enough to make a song\n");
    write_file("short.mid", song().substr(0, 17));
    expect_result(run({"empty.bin", "notes.txt", "short.mid"}), 0, "");
    for (const char* output : {"empty.bin.mid", "notes.txt.mid", "short.mid.mid"}) {
        ASSERT_TRUE(exists(output)) << output;
        EXPECT_EQ(fs::file_size(path(output)), 0u) << output;
    }
}

// File errors end the run at once with status 1; later inputs are left alone.

TEST_F(Cli, StopsAtMissingInput) {
    write_file("a.mid", song(0x3C));
    write_file("c.mid", song(0x40));
    expect_result(run({"a.mid", "missing.mid", "c.mid"}), 1, "Unable to open input file: missing.mid\n");
    EXPECT_EQ(read_file("a.mid.mid"), song(0x3C));
    EXPECT_EQ(entries(), (Names{"a.mid", "a.mid.mid", "c.mid"}));
}

TEST_F(Cli, StopsAtFolderGivenAsInput) {
    make_folder("d");
    write_file("a.mid", song());
    expect_result(run({"d", "a.mid"}), 1, "Unable to open input file: d\n");
    EXPECT_EQ(entries(), (Names{"a.mid", "d"}));
    EXPECT_EQ(entries("d"), Names{});
}

TEST_F(Cli, StopsWhenOutputCannotBeOpened) {
    write_file("a.mid", song());
    write_file("b.mid", song());
    make_folder("a.mid.mid");
    expect_result(run({"a.mid", "b.mid"}), 1, "Unable to open output file: a.mid.mid\n");
    EXPECT_TRUE(fs::is_directory(path("a.mid.mid")));
    EXPECT_FALSE(exists("b.mid.mid"));
}

// A sysfs attribute claims a size of a page but reads back shorter.
TEST_F(Cli, StopsWhenInputReadsShort) {
    std::string attribute;
    for (const char* candidate : {"/sys/devices/system/cpu/online", "/sys/kernel/uevent_seqnum", "/sys/power/state"}) {
        std::error_code error;
        const auto claimed = fs::file_size(candidate, error);
        std::ifstream file(candidate, std::ios::binary);
        const std::string content(std::istreambuf_iterator<char>(file), {});
        if (!error && file.is_open() && content.size() < claimed) {
            attribute = candidate;
            break;
        }
    }
    if (attribute.empty()) GTEST_SKIP() << "no file here that reads shorter than its size";
    fs::create_symlink(attribute, path("s"));
    write_file("a.mid", song());
    expect_result(run({"s", "a.mid"}), 1, "Unable to read input file: s\n");
    EXPECT_FALSE(exists("s.mid"));
    EXPECT_FALSE(exists("a.mid.mid"));
}

// /dev/full takes the output and fails it when it is flushed.
TEST_F(Cli, StopsWhenOutputCannotBeWritten) {
    if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    write_file("f", song());
    write_file("a.mid", song());
    fs::create_symlink("/dev/full", path("f.mid"));
    expect_result(run({"f", "a.mid"}), 1, "Error writing to output file: f.mid\n");
    EXPECT_FALSE(exists("a.mid.mid"));
}

// Under a limit of 4 KiB a file, the 18 KiB output of the second input
// fails part-way, as on a full disk. No partial output is left: the name is
// removed, but a symbolic link stays, to its emptied target; other hard links
// of the file keep it, emptied.
TEST_F(Cli, FailedWriteLeavesNoPartialOutput) {
    enum class Before { nothing, symbolic_link, hard_link };  // what big.mid.mid is: a link to "kept"
    struct Case {
        const char* what;
        Before before;
        Names left;  // the names in the folder afterwards
    };
    const Case cases[] = {
        {"no file before", Before::nothing, {"a.mid", "a.mid.mid", "big.mid", "c.mid", "kept"}},
        {"symbolic link", Before::symbolic_link, {"a.mid", "a.mid.mid", "big.mid", "big.mid.mid", "c.mid", "kept"}},
        {"hard link", Before::hard_link, {"a.mid", "a.mid.mid", "big.mid", "c.mid", "kept"}},
    };
    for (const Case& c : cases) {
        // Wine shows a symbolic link of the host as the file it points to,
        // so a Windows program cannot tell the two apart there.
        if (c.before == Before::symbolic_link && target().windows) continue;
        SCOPED_TRACE(c.what);
        for (const std::string& name : entries()) fs::remove(path(name));
        write_file("a.mid", song(0x3C));
        write_file("big.mid", long_song(3000));
        write_file("c.mid", song(0x40));
        write_file("kept", "an earlier file");
        if (c.before == Before::symbolic_link) fs::create_symlink("kept", path("big.mid.mid"));
        if (c.before == Before::hard_link) fs::create_hard_link(path("kept"), path("big.mid.mid"));
        expect_result(run({"a.mid", "big.mid", "c.mid"}, 0, 4096), 1, "Error writing to output file: big.mid.mid\n");
        EXPECT_EQ(entries(), c.left);
        EXPECT_EQ(read_file("a.mid.mid"), song(0x3C));
        EXPECT_EQ(fs::file_size(path("kept")), c.before == Before::nothing ? 15u : 0u);
        if (c.before == Before::symbolic_link) { EXPECT_TRUE(fs::is_symlink(path("big.mid.mid"))); }
    }
}

// A pipe or a device as an input is refused at once, before it could block
// the run, and no output is created for it.
TEST_F(Cli, StopsAtInputThatIsNotAFile) {
    struct Case {
        const char* what;
        Names args;
        const char* refused;
        Names left;
    };
    const Case cases[] = {
        {"pipe", {"p"}, "p", {"p"}},
        {"device", {"/dev/null"}, "/dev/null", {}},
        {"pipe after a file", {"a.mid", "p", "c.mid"}, "p", {"a.mid", "a.mid.mid", "c.mid", "p"}},
    };
    const bool null_output_before = exists("/dev/null.mid");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : entries()) fs::remove(path(name));
        if (c.args.size() > 1) {
            write_file("a.mid", song(0x3C));
            write_file("c.mid", song(0x40));
        }
        if (std::string(c.refused) == "p") { ASSERT_EQ(::mkfifo(path("p").c_str(), 0644), 0); }
        expect_result(run(c.args), 1, std::string("Unable to open input file: ") + c.refused + "\n");
        EXPECT_EQ(entries(), c.left);
        if (c.args.size() > 1) { EXPECT_EQ(read_file("a.mid.mid"), song(0x3C)); }
    }
    if (!null_output_before) { EXPECT_FALSE(exists("/dev/null.mid")); }
}

// An 8 GiB (sparse) input cannot be held in a 2 GiB address space: the
// conversion of that file fails with std::bad_alloc and the run goes on.
TEST_F(Cli, ConversionErrorIsReportedAndRunContinues) {
#ifdef SEQCONV_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer cannot run under an address-space limit";
#endif
    write_file("a.mid", song(0x3C));
    write_file("c.mid", song(0x40));
    {
        const int fd = ::open(path("big.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const int truncated = ::ftruncate(fd, off_t{8} << 30);
        ::close(fd);
        ASSERT_EQ(truncated, 0) << "cannot make an 8 GiB sparse file here";
    }
    expect_result(run({"a.mid", "big.bin", "c.mid"}, rlim_t{2} << 30), 0,
                  "Error while converting file (big.bin): std::bad_alloc\n");
    EXPECT_EQ(read_file("a.mid.mid"), song(0x3C));
    EXPECT_EQ(read_file("c.mid.mid"), song(0x40));
    ASSERT_TRUE(exists("big.bin.mid"));
    EXPECT_EQ(fs::file_size(path("big.bin.mid")), 0u);
}

// A batch is converted on several cores where there are several: the inputs
// are read ahead and converted while earlier outputs are written. What the
// user sees stays that of converting one file after the other.

// The output of the first input is the second input: it is read after it
// was written, also when the first is too large to be read ahead (9 MiB of
// zeros, which no reader recognises: its output is empty).
TEST_F(Cli, OutputThatIsALaterInputIsReadAfterItIsWritten) {
    struct Case {
        const char* what;
        off_t zeros;  // the first input's length when it is zeros, else 0
        std::string expected;
    };
    const Case cases[] = {{"read ahead", 0, song(0x3C)}, {"too large to be read ahead", off_t{9} << 20, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : entries()) fs::remove(path(name));
        write_file("a.mid", c.zeros == 0 ? song(0x3C) : "");
        if (c.zeros != 0) fs::resize_file(path("a.mid"), static_cast<std::uintmax_t>(c.zeros));
        write_file("a.mid.mid", song(0x40));
        expect_result(run({"a.mid", "a.mid.mid"}), 0, "");
        EXPECT_EQ(read_file("a.mid.mid"), c.expected);
        EXPECT_EQ(read_file("a.mid.mid.mid"), c.expected);
    }
}

// The same through other names of one file. An output that is a link to its
// own input empties it when it is opened, before the input is read, and the
// input then reads as nothing.
TEST_F(Cli, OutputThatIsALaterInputThroughALinkIsReadAfterItIsWritten) {
    struct Case {
        const char* what;
        bool hard;
        const char* link;
        const char* target;
        Names args;
        const char* checked;
        std::string expected;
    };
    const Case cases[] = {
        {"symbolic link", false, "l", "a.mid.mid", {"a.mid", "l"}, "l.mid", song(0x3C)},
        {"hard link", true, "l", "a.mid.mid", {"a.mid", "l"}, "l.mid", song(0x3C)},
        {"output linked to its own input", false, "x.mid", "x", {"a.mid", "x"}, "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : entries()) fs::remove(path(name));
        write_file("a.mid", song(0x3C));
        write_file("a.mid.mid", song(0x40));
        write_file("x", song(0x40));
        if (c.hard)
            fs::create_hard_link(path(c.target), path(c.link));
        else
            fs::create_symlink(c.target, path(c.link));
        expect_result(run(c.args), 0, "");
        EXPECT_EQ(read_file(c.checked), c.expected);
    }
}

// The tenth output cannot be opened: the inputs after it, read ahead, are
// left as they were, and no output of theirs is created or emptied.
TEST_F(Cli, FileErrorInTheMiddleOfABatchLeavesTheRestUntouched) {
    Names args;
    for (int i = 0; i < 20; ++i) {
        // Built in steps: GCC 12 warns, wrongly, of overlapping copies in
        // "f" + std::to_string(...).
        std::string name = "f";
        name += std::to_string(100 + i);
        args.push_back(name + ".mid");
        write_file(args.back(), song(static_cast<unsigned char>(0x30 + i)));
    }
    make_folder(args[9] + ".mid");
    write_file(args[11] + ".mid", "kept");
    expect_result(run(args), 1, "Unable to open output file: " + args[9] + ".mid\n");
    for (int i = 0; i < 9; ++i) EXPECT_EQ(read_file(args[i] + ".mid"), song(static_cast<unsigned char>(0x30 + i)));
    EXPECT_EQ(read_file(args[11] + ".mid"), "kept");
    for (int i = 10; i < 20; ++i) EXPECT_EQ(exists(args[i] + ".mid"), i == 11) << args[i];
}

// Songs of every format, in turn with files no reader recognises, each
// converted as it is alone: a distinct song per SMF input shows an output
// written with another input's conversion.
TEST_F(Cli, BatchConvertsEachFileAsItsOwnRunDoes) {
    Names examples;
    for (const fs::directory_entry& entry : fs::directory_iterator(SEQCONV_EXAMPLES))
        examples.push_back(entry.path().filename().string());
    std::sort(examples.begin(), examples.end());
    ASSERT_GE(examples.size(), 9u);
    make_folder("alone");
    Names alone;
    for (const std::string& name : examples) {
        fs::copy_file(fs::path(SEQCONV_EXAMPLES) / name, path("alone/" + name));
        alone.push_back("alone/" + name);
    }
    expect_result(run(alone), 0, "");

    make_folder("batch");
    std::vector<std::pair<std::string, std::string>> expected;  // output, its contents
    for (int i = 0; i < 300; ++i) {
        const std::string prefix = "batch/" + std::to_string(1000 + i) + "-";
        if (i % 25 == 7) {
            write_file(prefix + "notes.txt", "no song\n");
            expected.emplace_back(prefix + "notes.txt.mid", "");
        } else if (i % 2 == 0) {
            const auto key = static_cast<unsigned char>(i / 2 % 128);
            write_file(prefix + "song.mid", song(key));
            expected.emplace_back(prefix + "song.mid.mid", song(key));
        } else {
            const std::string& example = examples[static_cast<std::size_t>(i) / 2 % examples.size()];
            fs::copy_file(path("alone/" + example), path(prefix + example));
            expected.emplace_back(prefix + example + ".mid", read_file("alone/" + example + ".mid"));
        }
    }
    expect_result(run({"batch/*"}), 0, "");
    EXPECT_EQ(entries("batch").size(), 600u);
    for (const auto& [output, contents] : expected) {
        ASSERT_TRUE(exists(output)) << output;
        EXPECT_EQ(read_file(output), contents) << output;
    }
}

// Conversion errors are reported at their file's turn, in argument order.
TEST_F(Cli, ConversionErrorsAreReportedInArgumentOrder) {
#ifdef SEQCONV_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer cannot run under an address-space limit";
#endif
    const Names args = {"a.mid", "big1.bin", "notes.txt", "b.mid", "big2.bin", "c.mid"};
    write_file("a.mid", song(0x3C));
    write_file("notes.txt", "no song\n");
    write_file("b.mid", song(0x3E));
    write_file("c.mid", song(0x40));
    for (const char* big : {"big1.bin", "big2.bin"}) {
        const int fd = ::open(path(big).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const int truncated = ::ftruncate(fd, off_t{8} << 30);
        ::close(fd);
        ASSERT_EQ(truncated, 0) << "cannot make an 8 GiB sparse file here";
    }
    expect_result(run(args, rlim_t{2} << 30), 0,
                  "Error while converting file (big1.bin): std::bad_alloc\n"
                  "Error while converting file (big2.bin): std::bad_alloc\n");
    EXPECT_EQ(read_file("a.mid.mid"), song(0x3C));
    EXPECT_EQ(read_file("b.mid.mid"), song(0x3E));
    EXPECT_EQ(read_file("c.mid.mid"), song(0x40));
    EXPECT_EQ(fs::file_size(path("notes.txt.mid")), 0u);
    EXPECT_EQ(fs::file_size(path("big2.bin.mid")), 0u);
}

// Names: wildcards are expanded (by the Windows runtime, or on Linux by the
// program itself when the shell left them quoted), existing names are taken
// as they stand, and names that are not ASCII reach the file system and the
// messages unchanged.

// Café Müller 日本 𝄞: Latin letters, CJK and a character beyond 16 bits.
const std::string non_ascii = "Caf\xC3\xA9 M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9D\x84\x9E";

// Files named .xmi that hold Standard MIDI Files: the contents decide the
// format, so each is written back as it is.
TEST_F(Cli, ExpandsQuotedWildcard) {
    write_file("b.xmi", song(0x40));
    write_file("a.xmi", song(0x3C));
    write_file(non_ascii + ".xmi", song(0x3E));
    write_file("c.mid", song(0x3E));
    make_folder("sub");
    write_file("sub/d.xmi", song(0x41));
    expect_result(run({"*.xmi", "sub/*.xmi"}), 0, "");
    EXPECT_EQ(entries(), (Names{non_ascii + ".xmi", non_ascii + ".xmi.mid", "a.xmi", "a.xmi.mid", "b.xmi", "b.xmi.mid",
                                "c.mid", "sub"}));
    EXPECT_EQ(read_file("a.xmi.mid"), song(0x3C));
    EXPECT_EQ(read_file("b.xmi.mid"), song(0x40));
    EXPECT_EQ(read_file(non_ascii + ".xmi.mid"), song(0x3E));
    EXPECT_EQ(read_file("sub/d.xmi.mid"), song(0x41));
}

// The folder a.mid comes first in sorted order and ends the run before b.mid.
TEST_F(Cli, WildcardMatchesAreTakenInSortedOrder) {
    write_file("b.mid", song());
    make_folder("a.mid");
    expect_result(run({"?.mid"}), 1, "Unable to open input file: a.mid\n");
    EXPECT_FALSE(exists("b.mid.mid"));
}

TEST_F(Cli, WildcardWithoutMatchIsKeptAsItStands) {
    write_file("a.mid", song());
    expect_result(run({"*.nothing", "a.mid"}), 1, "Unable to open input file: *.nothing\n");
    EXPECT_EQ(entries(), Names{"a.mid"});
}

// "Track L.mid" would match the name if it were taken as a pattern.
TEST_F(Cli, ExistingNameWithWildcardCharactersIsNotExpanded) {
    write_file("Track [Live].mid", song(0x3C));
    write_file("Track L.mid", song(0x40));
    expect_result(run({"Track [Live].mid"}), 0, "");
    EXPECT_EQ(entries(), (Names{"Track L.mid", "Track [Live].mid", "Track [Live].mid.mid"}));
    EXPECT_EQ(read_file("Track [Live].mid.mid"), song(0x3C));
}

TEST_F(Cli, NonAsciiNamesReachTheFileSystemUnchanged) {
    const std::string name = non_ascii + ".mid";
    write_file(name, song());
    expect_result(run({name}), 0, "");
    EXPECT_EQ(entries(), (Names{name, name + ".mid"}));
    EXPECT_EQ(read_file(name + ".mid"), song());
}

TEST_F(Cli, NonAsciiNameIsPrintedAsUtf8) {
    expect_result(run({non_ascii + ".mid"}), 1, "Unable to open input file: " + non_ascii + ".mid\n");
}

// A Latin-1 "é" is not UTF-8: Linux names are bytes and take it as it is.
TEST_F(Cli, NameThatIsNotUtf8ReachesTheFileSystemUnchanged) {
    if (target().windows)
        GTEST_SKIP() << "Windows names are UTF-16: such bytes cannot be handed to a Windows program unchanged";
    const std::string name = "caf\xE9.mid";
    write_file(name, song());
    expect_result(run({name}), 0, "");
    EXPECT_EQ(read_file(name + ".mid"), song());
}

}  // namespace
