// seqtool as a user runs it, on files in a folder of its own: its messages,
// its summary, its exit status, the files it writes and leaves alone, and
// what info prints. SEQTOOL_PROGRAM names the program (SEQCONV_PROGRAM the
// seqconv whose outputs it must match); see cli_support.h.

#include <regex>

#include "cli_support.h"
#include "seqconv/seqconv.h"
#include "testkit/formats.h"

namespace {

using cli::Names;
using cli::Result;
namespace fs = std::filesystem;
namespace kit = testkit;

const cli::Target& tool() {
    static const cli::Target chosen = cli::target_of("SEQTOOL_PROGRAM", SEQTOOL_PROGRAM);
    return chosen;
}
const cli::Target& seqconv_program() {
    static const cli::Target chosen = cli::target_of("SEQCONV_PROGRAM", SEQCONV_PROGRAM);
    return chosen;
}

std::string text(const kit::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A form 0 song of one track: two notes, the first on `key`.
std::string song(std::uint8_t key = 0x3C) {
    return text(kit::smf(0, 96, {kit::smf_events({kit::note(0, 0, key, 100, 96), kit::note(96, 0, 62, 100, 96)})}));
}

// A song of `count` notes: its output is larger than a few kilobytes.
std::string long_song(int count) {
    kit::Track track;
    for (int i = 0; i < count; ++i) track.push_back(kit::note(std::uint32_t(i) * 10, 0, std::uint8_t(40 + i % 40), 90, 5));
    return text(kit::smf(0, 96, {kit::smf_events(track)}));
}

// The summary's time varies from run to run.
std::string without_time(const std::string& err) {
    return std::regex_replace(err, std::regex(" in [0-9]+\\.[0-9][0-9] s"), " in T s");
}

// The system's reason for a failure, as Linux words it. Windows words it
// its own way (and Wine another): there any text of one line stands for it.
constexpr char any_reason = '\x01';
std::string reason(const char* linux_text) { return tool().windows ? std::string(1, any_reason) : linux_text; }

// Whether `text` is `expected` with each `any_reason` standing for a run
// of characters within one line.
bool matches(const std::string& text, const std::string& expected) {
    const std::size_t wildcard = expected.find(any_reason);
    if (wildcard == std::string::npos) return text == expected;
    if (text.compare(0, wildcard, expected, 0, wildcard) != 0) return false;
    for (std::size_t end = wildcard; end <= text.size(); ++end) {
        if (matches(text.substr(end), expected.substr(wildcard + 1))) return true;
        if (end < text.size() && (text[end] == '\n' || text[end] == '\r')) break;
    }
    return false;
}

class Tool : public cli::Folder {
protected:
    Result run(const Names& args, const cli::Limits& limits = {}) const { return run_target(tool(), args, limits); }
    std::string lines(const std::string& text) const { return cli::lines(tool(), text); }

    void expect(const Result& result, int status, const std::string& err, const std::string& out = "") const {
        EXPECT_EQ(result.status, status);
        EXPECT_TRUE(matches(without_time(result.err), lines(err))) << result.err;
        EXPECT_EQ(result.out, lines(out));
    }
};

const std::string try_help = "Try 'seqtool --help' for more.\n";

TEST_F(Tool, CommandLine) {
    write_file("-r", song());
    struct Case {
        Names args;
        int status;
        std::string err;
        const char* out_begins;  // none: nothing on standard output
    };
    const Case cases[] = {
        {{}, 1, "seqtool: no command: convert or info\n" + try_help, nullptr},
        {{"play", "a"}, 1, "seqtool: unknown command 'play'\n" + try_help, nullptr},
        {{"convert"}, 1, "seqtool: no PATH given\n" + try_help, nullptr},
        {{"convert", "-x", "a"}, 1, "seqtool: unknown option '-x' for convert\n" + try_help, nullptr},
        {{"info", "-1", "a"}, 1, "seqtool: unknown option '-1' for info\n" + try_help, nullptr},
        {{"info", "--split", "a"}, 1, "seqtool: unknown option '--split' for info\n" + try_help, nullptr},
        {{"convert", "-o"}, 1, "seqtool: -o needs a folder\n" + try_help, nullptr},
        {{"convert", "--loops", "2", "--mark-loops", "a"}, 1,
         "seqtool: --loops and --mark-loops exclude each other\n" + try_help, nullptr},
        {{"convert", "--loops", "0", "a"}, 1, "seqtool: --loops takes a number of passes from 1 to 1000\n" + try_help, nullptr},
        {{"convert", "--loops", "2", "--fade", "1.2345", "a"}, 1, "seqtool: --fade takes seconds from 0 to 3600\n" + try_help,
         nullptr},
        {{"convert", "--fade", "3", "a"}, 1, "seqtool: --fade goes with --loops\n" + try_help, nullptr},
        {{"convert", "--whole", "a"}, 1, "seqtool: --whole goes with --loops or --mark-loops\n" + try_help, nullptr},
        {{"convert", "-1", "--form", "0", "a"}, 1, "seqtool: -1 and --form 0 exclude each other\n" + try_help, nullptr},
        {{"convert", "--form", "1", "a"}, 1, "seqtool: --form takes 0: the tracks merged into one\n" + try_help, nullptr},
        {{"info", "--mark-loops", "a"}, 1, "seqtool: unknown option '--mark-loops' for info\n" + try_help, nullptr},
        {{"--help"}, 0, "", "Usage: seqtool convert "},
        {{"info", "missing", "--help"}, 0, "", "Usage: seqtool convert "},
        {{"--version"}, 0, "", "seqtool " SEQCONV_EXPECTED_VERSION "\n"},
        // "--" ends the options: "-r" is then a file.
        {{"convert", "--", "-r"}, 0, "1 file: 1 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const Result result = run(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(without_time(result.err), lines(c.err));
        if (c.out_begins == nullptr)
            EXPECT_EQ(result.out, "");
        else
            EXPECT_EQ(result.out.substr(0, lines(c.out_begins).size()), lines(c.out_begins));
    }
    EXPECT_EQ(entries(), (Names{"-r", "-r.mid"}));
    EXPECT_EQ(read_file("-r.mid"), song());
}

// The same bytes as seqconv writes for every example, with and without -1.
TEST_F(Tool, OutputsAreTheBytesSeqconvWrites) {
    for (const bool promote : {false, true}) {
        SCOPED_TRACE(promote ? "-1" : "plain");
        const std::string mine = promote ? "tool1" : "tool", theirs = promote ? "seqconv1" : "seqconv";
        make_folder(mine);
        make_folder(theirs);
        Names tool_args{"convert"}, seqconv_args;
        if (promote) tool_args.push_back("-1"), seqconv_args.push_back("-1");
        for (const fs::directory_entry& entry : fs::directory_iterator(SEQCONV_EXAMPLES)) {
            const std::string name = entry.path().filename().string();
            fs::copy_file(entry.path(), path(mine + "/" + name));
            fs::copy_file(entry.path(), path(theirs + "/" + name));
            tool_args.push_back(mine + "/" + name);
            seqconv_args.push_back(theirs + "/" + name);
        }
        const std::size_t count = tool_args.size() - (promote ? 2 : 1);
        expect(run(tool_args), 0,
               std::to_string(count) + " files: " + std::to_string(count) +
                   " converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n");
        ASSERT_EQ(run_target(seqconv_program(), seqconv_args).status, 0);
        ASSERT_EQ(entries(mine), entries(theirs));
        for (const std::string& name : entries(mine)) EXPECT_EQ(read_file(mine + "/" + name), read_file(theirs + "/" + name)) << name;
    }
}

// --split writes the songs of an XMI of several songs one by one, as the
// library's convert_songs gives them; any other song keeps its one name.
TEST_F(Tool, SplitWritesEachSongOfAFileOfSeveral) {
    const kit::Bytes three = kit::xmi({{kit::xmi_events({kit::note(0, 0, 60, 100, 30)})},
                                       {kit::xmi_events({kit::note(0, 1, 64, 100, 60)})},
                                       {kit::xmi_events({kit::note(0, 2, 67, 100, 90)})}});
    write_file("three.xmi", text(three));
    write_file("one.mid", song());
    expect(run({"convert", "--split", "-1", "three.xmi", "one.mid"}), 0,
           "2 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n");
    const seqconv::SongsConversion expected = seqconv::convert_songs(three, "three.xmi", true);
    ASSERT_EQ(expected.songs.size(), 3u);
    EXPECT_EQ(entries(), (Names{"one.mid", "one.mid.mid", "three.xmi", "three.xmi.1.mid", "three.xmi.2.mid",
                                "three.xmi.3.mid"}));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(read_file("three.xmi." + std::to_string(i + 1) + ".mid"), text(expected.songs[i])) << i;
    const std::string one = song();
    EXPECT_EQ(read_file("one.mid.mid"), text(seqconv::convert(kit::Bytes(one.begin(), one.end()), "one.mid", true).smf));
}

// One line for each input that did not convert completely, in argument
// order, and the run goes on; nothing is written for what was not read.
TEST_F(Tool, EachInputThatDidNotConvertIsNamed) {
    const std::string whole = song();
    write_file("good.mid", whole);
    write_file("cut.mid", whole.substr(0, whole.size() - 3));
    write_file("header.mid", whole.substr(0, 18));
    write_file("notes.txt", "no song here\n");
    make_folder("folder");
    const bool fifo = !tool().windows && ::mkfifo(path("fifo").c_str(), 0644) == 0;
    Names args{"convert", "good.mid", "cut.mid", "header.mid", "notes.txt", "missing.mid", "folder"};
    std::string err = std::string(
        "cut.mid: damaged at byte 38 (cut off): track 0: event cut off: wrote what was read before it\n"
        "header.mid: damaged at byte 14 (cut off): track 0: chunk header cut off: nothing was read before it, nothing written\n"
        "notes.txt: not a known format: nothing written\n"
        "missing.mid: ") + reason("no such file or directory") + "\n" +
        "folder: is a folder (-r converts the files in it)\n";
    if (fifo) {
        args.push_back("fifo");
        err += "fifo: a FIFO, not a file\n";
    }
    if (!tool().windows) {
        args.push_back("/dev/null");
        err += "/dev/null: a device, not a file\n";
    }
    err += std::to_string(args.size() - 1) + " files: 1 converted, 2 damaged, 1 not recognised, " +
           std::to_string(args.size() - 5) + " unreadable, 0 skipped in T s\n";
    expect(run(args), 2, err);
    EXPECT_EQ(read_file("good.mid.mid"), whole);
    EXPECT_TRUE(exists("cut.mid.mid"));
    for (const char* none : {"header.mid.mid", "notes.txt.mid", "missing.mid.mid", "folder.mid", "fifo.mid"})
        EXPECT_FALSE(exists(none)) << none;
    EXPECT_FALSE(fs::exists("/dev/null.mid"));
}

// An output that cannot be written is named with the system's reason; the
// run goes on and ends with status 1.
TEST_F(Tool, OutputThatCannotBeWrittenIsNamed) {
    write_file("a.mid", song(0x3C));
    write_file("b.mid", song(0x40));
    write_file("file", "not a folder");
    make_folder("a.mid.mid");
    struct Case {
        Names args;
        std::string err;
    };
    const Case cases[] = {
        {{"convert", "a.mid", "b.mid"}, "a.mid.mid: not written: " + reason("is a directory") + "\n"},
        {{"convert", "-o", "file/sub", "b.mid"}, "file/sub/b.mid.mid: not written: " + reason("not a directory") + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const Result result = run(c.args);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(matches(without_time(result.err), lines(c.err + std::string(1, any_reason) + ", 1 not written in T s\n")))
            << result.err;
    }
    EXPECT_EQ(read_file("b.mid.mid"), song(0x40));
    EXPECT_TRUE(fs::is_directory(path("a.mid.mid")));
    EXPECT_EQ(read_file("file"), "not a folder");
}

// A write that fails part way (here past a file-size limit, as on a full
// disk) leaves no partial file, and the earlier output of that name stays.
TEST_F(Tool, FailedWriteLeavesNoPartialFile) {
    if (tool().windows) GTEST_SKIP() << "Wine does not pass on a file-size limit as a failed write";
    write_file("big.mid", long_song(3000));
    write_file("big.mid.mid", "earlier output");
    write_file("small.mid", song());
    const Result result = run({"convert", "big.mid", "small.mid"}, {0, 16384});
    expect(result, 1,
           "big.mid.mid: not written: file too large\n"
           "2 files: 1 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped, 1 not written in T s\n");
    EXPECT_EQ(entries(), (Names{"big.mid", "big.mid.mid", "small.mid", "small.mid.mid"}));
    EXPECT_EQ(read_file("big.mid.mid"), "earlier output");
}

// -r walks folders depth first in sorted order; earlier outputs beside
// their inputs are passed over, so a second run writes no X.mid.mid, and
// so is the new file a run cut short left behind.
TEST_F(Tool, RecursiveRunsPassOverEarlierOutputs) {
    make_folder("music");
    make_folder("music/sub");
    make_folder("music/sub/deeper");
    write_file("music/one.mid", song(0x30));
    write_file("music/a.txt", "no song");
    write_file("music/sub/b.txt", "no song");
    write_file("music/sub/two.mid", song(0x31));
    write_file("music/sub/two.mid.mid", "stale");
    write_file("music/sub/.two.mid.mid.99-0.part", "cut short");
    write_file("music/sub/deeper/three.mid", song(0x32));
    const std::string messages = "music/a.txt: not a known format: nothing written\n"
                                 "music/sub/b.txt: not a known format: nothing written\n";
    expect(run({"convert", "-r", "music"}), 2,
           messages + "7 files: 3 converted, 0 damaged, 2 not recognised, 0 unreadable, 2 skipped in T s\n");
    EXPECT_EQ(read_file("music/sub/two.mid.mid"), song(0x31));
    expect(run({"convert", "-r", "music"}), 2,
           messages + "9 files: 3 converted, 0 damaged, 2 not recognised, 0 unreadable, 4 skipped in T s\n");
    EXPECT_EQ(entries("music/sub"), (Names{".two.mid.mid.99-0.part", "b.txt", "deeper", "two.mid", "two.mid.mid"}));
    EXPECT_EQ(entries("music/sub/deeper"), (Names{"three.mid", "three.mid.mid"}));
}

// -o: a file argument's output is DIR/BASENAME.mid, a file found in a folder
// argument keeps its path within it; the first of two inputs that would
// write one output writes it, the second is named and skipped.
TEST_F(Tool, OutputFolder) {
    make_folder("music");
    make_folder("music/sub");
    make_folder("other");
    write_file("music/one.mid", song(0x30));
    write_file("music/sub/two.mid", song(0x31));
    write_file("other/one.mid", song(0x33));
    expect(run({"convert", "-r", "-o", "out/tree", "music"}), 0,
           "2 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n");
    EXPECT_EQ(read_file("out/tree/one.mid.mid"), song(0x30));
    EXPECT_EQ(read_file("out/tree/sub/two.mid.mid"), song(0x31));
    expect(run({"convert", "-o", "flat", "music/one.mid", "other/one.mid", "music/sub/two.mid"}), 2,
           "other/one.mid: its output flat/one.mid.mid is that of music/one.mid: skipped\n"
           "3 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 1 skipped in T s\n");
    EXPECT_EQ(entries("flat"), (Names{"one.mid.mid", "two.mid.mid"}));
    EXPECT_EQ(read_file("flat/one.mid.mid"), song(0x30));
    // The outputs' folder inside the folder walked is not walked.
    expect(run({"convert", "-r", "-o", "music/out", "music"}), 0,
           "2 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n");
    expect(run({"convert", "-r", "-o", "music/out", "music"}), 0,
           "2 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped in T s\n");
}

// info's columns, computed from songs whose answers are known, and its
// statuses. It writes no file.
TEST_F(Tool, InfoDescribesEachSong) {
    const std::string whole = song();
    using kit::note;
    using kit::tempo;
    const auto marker = [](std::uint32_t time, const char* words) { return kit::text_event(time, 0x06, words); };
    struct Case {
        const char* name;
        kit::Bytes file;
        std::string row;  // after the name
    };
    const Case cases[] = {
        // No tempo event: 500,000 µs a quarter note; 480 ticks at 96.
        {"default.mid", kit::smf(0, 96, {kit::smf_events({note(0, 0, 60, 100, 480)})}),
         "SMF\tcomplete\t0\t1\t1\t96\t2.500\t1\t-\t-\t-\t-"},
        // A tempo in one track holds for all: 192 ticks at 1 s, 192 at 0.25 s.
        {"tempo.mid",
         kit::smf(1, 96, {kit::smf_events({tempo(0, 1000000), tempo(192, 250000)}),
                          kit::smf_events({note(0, 0, 60, 100, 384), note(0, 0, 64, 0, 10)})}),
         "SMF\tcomplete\t1\t2\t1\t96\t2.500\t1\t-\t-\t-\t-"},
        // Form 2: one song after the other, each with its own tempo.
        {"songs.mid",
         kit::smf(2, 96, {kit::smf_events({tempo(0, 1000000), note(0, 0, 60, 100, 192)}),
                          kit::smf_events({note(0, 0, 62, 100, 192)})}),
         "SMF\tcomplete\t2\t2\t2\t96\t3.000\t2\t-\t-\t-\t-"},
        // SMPTE: 25 frames of 40 ticks a second.
        {"smpte.mid", kit::smf(0, 0xE728, {kit::smf_events({note(0, 0, 60, 100, 1500)})}),
         "SMF\tcomplete\t0\t1\t1\t25fps/40\t1.500\t1\t-\t-\t-\t-"},
        {"loops.mid",
         kit::smf(0, 96, {kit::smf_events({marker(96, "loopStart"), note(96, 0, 60, 100, 96), marker(288, "loopEnd"),
                                           marker(300, "loopStart"), kit::sysex(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})})}),
         "SMF\tcomplete\t0\t1\t1\t96\t1.563\t1\t96-288,300-300\t1.000\tGS\t-"},
        {"cut.mid", kit::Bytes(whole.begin(), whole.end() - 3),
         "SMF\tdamaged\t0\t1\t1\t96\t1.000\t2\t-\t-\t-\tdamaged at byte 38 (cut off): track 0: event cut off"},
        {"notes.txt", kit::Bytes{'n', 'o'}, "-\tunrecognised\t-\t-\t-\t-\t-\t-\t-\t-\t-\t-"},
    };
    Names args{"info"};
    std::string out = "path\tformat\tstatus\tform\ttracks\tsongs\ttimebase\tseconds\tnotes\tloops\tloop_seconds\tsynth\tfault\n";
    for (const Case& c : cases) {
        write_file(c.name, text(c.file));
        args.push_back(c.name);
        out += std::string(c.name) + "\t" + c.row + "\n";
    }
    args.push_back("missing");
    out += "missing\t-\tunreadable\t-\t-\t-\t-\t-\t-\t-\t-\t-\t-\n";
    const Names before = entries();
    expect(run(args), 2, "missing: " + reason("no such file or directory") + "\n", out);
    EXPECT_EQ(entries(), before);

    // Complete inputs alone: status 0.
    expect(run({"info", "default.mid", "tempo.mid"}), 0, "",
           "path\tformat\tstatus\tform\ttracks\tsongs\ttimebase\tseconds\tnotes\tloops\tloop_seconds\tsynth\tfault\n"
           "default.mid\t" + cases[0].row + "\ntempo.mid\t" + cases[1].row + "\n");
}

// --json: the same fields in the same order, as JSON's own types.
TEST_F(Tool, InfoAsJson) {
    write_file("loops.mid", text(kit::smf(0, 96, {kit::smf_events({kit::text_event(0, 6, "loopStart"),
                                                                   kit::note(0, 0, 60, 100, 96),
                                                                   kit::text_event(96, 6, "loopEnd")})})));
    // A Windows name cannot hold a quotation mark.
    const std::string cut = tool().windows ? "cut 1.mid" : "cut \"1\".mid";
    const std::string cut_json = tool().windows ? "cut 1.mid" : "cut \\\"1\\\".mid";
    write_file(cut, song().substr(0, song().size() - 3));
    write_file("notes.txt", "no");
    expect(run({"info", "--json", "loops.mid", cut, "notes.txt"}), 2, "",
           "{\"path\":\"loops.mid\",\"format\":\"SMF\",\"status\":\"complete\",\"form\":0,\"tracks\":1,\"songs\":1,"
           "\"timebase\":96,\"seconds\":0.500,\"notes\":1,\"loops\":[{\"dialect\":\"markers\",\"start\":0,\"end\":96,"
           "\"start_seconds\":0.000,\"end_seconds\":0.500,\"count\":0,\"track\":null}],\"loop_seconds\":0.500,\"synth\":null,"
           "\"fault\":null}\n"
           "{\"path\":\"" + cut_json + "\",\"format\":\"SMF\",\"status\":\"damaged\",\"form\":0,\"tracks\":1,"
           "\"songs\":1,\"timebase\":96,\"seconds\":1.000,\"notes\":2,\"loops\":[],\"loop_seconds\":null,\"synth\":null,"
           "\"fault\":{\"kind\":\"cut off\",\"offset\":38,\"reason\":\"track 0: event cut off\"}}\n"
           "{\"path\":\"notes.txt\",\"format\":null,\"status\":\"unrecognised\",\"form\":null,\"tracks\":null,"
           "\"songs\":null,\"timebase\":null,\"seconds\":null,\"notes\":null,\"loops\":null,\"loop_seconds\":null,\"synth\":null,\"fault\":null}\n");
}

// The loop options write what the library's conversion writes with them,
// count the songs whose loops they rewrote, and leave songs without loops as
// they are; info tells the playing time the played-out file has.
TEST_F(Tool, LoopOptionsWriteTheLibrarysPlayOut) {
    using kit::note;
    const auto marker = [](std::uint32_t time, const char* words) { return kit::text_event(time, 0x06, words); };
    const kit::Bytes looped = kit::smf(1, 96, {kit::smf_events({marker(96, "loopStart"), marker(288, "loopEnd")}),
                                               kit::smf_events({note(0, 0, 60, 100, 400), note(100, 1, 62, 100, 50)})});
    write_file("loop.mid", text(looped));
    write_file("plain.mid", song());
    struct Case {
        Names options;
        seqconv::ConversionOptions library;
        const char* summary_end;
    };
    seqconv::ConversionOptions played;
    played.loops = seqconv::LoopWriting::play_out;
    played.play_out.passes = 3;
    played.play_out.fade_milliseconds = 2500;
    seqconv::ConversionOptions marked;
    marked.loops = seqconv::LoopWriting::mark;
    seqconv::ConversionOptions merged;
    merged.merge = true;
    merged.split = true;
    const Case cases[] = {
        {{"--loops", "3", "--fade", "2.5"}, played, "; 1 song with loops played out"},
        {{"--mark-loops"}, marked, "; 1 song with loops marked"},
        {{"--form", "0"}, merged, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0]);
        Names args{"convert", "-o", "out"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"loop.mid", "plain.mid"});
        expect(run(args), 0,
               std::string("2 files: 2 converted, 0 damaged, 0 not recognised, 0 unreadable, 0 skipped") + c.summary_end +
                   " in T s\n");
        const std::string plain_text = song();
        const kit::Bytes plain(plain_text.begin(), plain_text.end());
        for (const auto& [name, input] : {std::pair{"loop.mid", looped}, std::pair{"plain.mid", plain}}) {
            const seqconv::Report expected = seqconv::convert_report(input, name, c.library);
            ASSERT_EQ(expected.files.size(), 1u);
            EXPECT_EQ(read_file(std::string("out/") + name + ".mid"), text(expected.files[0])) << name;
        }
        fs::remove_all(path("out"));
    }
    // Three passes of a second, and 2.5 s of fade, after the second before the loop.
    const Result info = run({"info", "--loops", "3", "--fade", "2.5", "loop.mid"});
    EXPECT_NE(info.out.find("loop.mid\tSMF\tcomplete\t1\t2\t1\t96\t6.000\t2\t96-288\t1.000\t"), std::string::npos)
        << info.out;
}

}  // namespace
