// The bytes every bundled example converts to, plain and promoted ("-1"),
// pinned as a size and a 64-bit FNV-1a checksum in tests/golden_outputs.txt.
// A change to any reader, the writer or the promotion that alters what the
// program writes for them fails here. When such a change is meant, the
// failure prints the whole list as it now is: check the difference, then
// replace the file's lines with it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "seqconv/seqconv.h"

namespace seqconv {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t fnv1a64(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3u;
    }
    return hash;
}

Bytes file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// "NAME plain|promoted SIZE CHECKSUM", the checksum in 16 hex digits.
std::string golden_line(const std::string& name, bool promote, const Bytes& output) {
    char checksum[17];
    std::snprintf(checksum, sizeof checksum, "%016llx", static_cast<unsigned long long>(fnv1a64(output)));
    return name + (promote ? " promoted " : " plain ") + std::to_string(output.size()) + " " + checksum;
}

// The lines for every file of the examples folder, in name order.
std::vector<std::string> current_lines() {
    std::vector<std::filesystem::path> examples;
    for (const auto& entry : std::filesystem::directory_iterator(SEQCONV_EXAMPLES))
        if (entry.is_regular_file()) examples.push_back(entry.path());
    std::sort(examples.begin(), examples.end());
    std::vector<std::string> lines;
    for (const auto& path : examples) {
        const Bytes input = file_bytes(path);
        const std::string name = path.filename().string();
        for (const bool promote : {false, true})
            lines.push_back(golden_line(name, promote, convert(input, name, promote).smf));
    }
    return lines;
}

// The list's lines but comments and blank ones.
std::vector<std::string> pinned_lines() {
    std::ifstream in(SEQCONV_GOLDEN_LIST);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

TEST(GoldenOutputs, ChecksumIsFnv1a64) {
    const struct {
        const char* text;
        std::uint64_t hash;
    } cases[] = {
        {"", 0xcbf29ce484222325u},
        {"a", 0xaf63dc4c8601ec8cu},
        {"foobar", 0x85944171f73967e8u},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(fnv1a64(Bytes(text.begin(), text.end())), c.hash) << '"' << text << '"';
    }
}

TEST(GoldenOutputs, EveryExampleConvertsToItsPinnedBytes) {
    const std::vector<std::string> pinned = pinned_lines();
    const std::vector<std::string> current = current_lines();
    ASSERT_FALSE(current.empty()) << "no examples in " << SEQCONV_EXAMPLES;
    std::ostringstream differences;
    for (std::size_t i = 0; i < std::max(pinned.size(), current.size()); ++i) {
        const std::string expected = i < pinned.size() ? pinned[i] : "(none)";
        const std::string got = i < current.size() ? current[i] : "(none)";
        if (expected != got) differences << "  expected " << expected << "\n       got " << got << "\n";
    }
    if (differences.str().empty()) return;
    std::ostringstream list;
    for (const std::string& line : current) list << line << "\n";
    ADD_FAILURE() << "outputs differ from " << SEQCONV_GOLDEN_LIST << ":\n"
                  << differences.str() << "the list as the examples now convert:\n"
                  << list.str();
}

}  // namespace
}  // namespace seqconv
