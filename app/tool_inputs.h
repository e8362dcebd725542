#pragma once

// The files a seqtool run works on, found from its path arguments, and
// for a conversion the output each one writes.

#include <optional>
#include <string>
#include <vector>

namespace seqconv::tool {

// What is known of an input before it is read.
enum class Standing {
    take,            // to be read
    unreadable,      // the argument names nothing readable, or a folder without -r
    earlier_output,  // the output of an earlier run, or of another input of this run
    clash,           // its output is another input's too
};

struct Input {
    std::string path;    // the argument, or the argument and the path within it
    std::string output;  // the output's name without ".mid"; empty for info
    Standing standing = Standing::take;
    std::string reason;  // why it is unreadable or clashes
};

struct InputOptions {
    bool recursive = false;
    bool outputs = false;  // convert: name outputs, pass over earlier ones, find clashes
    bool split = false;    // outputs may be NAME.1.mid, NAME.2.mid…
    std::optional<std::string> output_folder;
};

std::vector<Input> find_inputs(const std::vector<std::string>& paths, const InputOptions& options);

// The folder part of a path, its last slash included; empty when it has none.
std::string folder_of(const std::string& path);

}  // namespace seqconv::tool
