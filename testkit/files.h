#pragma once

// How the generators of committed files (examples, fuzz seeds) put them
// on disk: each file is written, or with --check compared with the one
// already there, so that a build can tell when those files lag behind
// their generator.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "testkit/bytes.h"

namespace testkit {

// Writes `bytes` to `path`, making its folders, or where `check` compares
// them with the file there. What is wrong goes to stderr, a difference
// followed by `remedy`; it then returns false.
inline bool write_or_check(const std::filesystem::path& path, const Bytes& bytes, bool check,
                           const std::string& remedy) {
    if (check) {
        std::ifstream in(path, std::ios::binary);
        const Bytes found((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.is_open() && found == bytes) return true;
        std::fprintf(stderr, "%s %s; %s\n", path.string().c_str(),
                     in.is_open() ? "differs from its generator" : "is missing", remedy.c_str());
        return false;
    }
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (out) return true;
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
}

}  // namespace testkit
