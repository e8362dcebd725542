#pragma once

// seqtool's two commands. Each returns the exit status: 0 when every input
// was read (and written) completely, 2 when some input was damaged, not
// recognised or unreadable, or clashed, and 1 when an output could not be
// written.

#include <optional>
#include <string>
#include <vector>

#include "app/tool_inputs.h"
#include "seqconv/seqconv.h"

namespace seqconv::tool {

struct ConvertOptions {
    bool promote = false;  // -1
    InputOptions inputs;
    LoopWriting loops = LoopWriting::as_read;  // --loops N, --mark-loops
    PlayOut play_out;                          // N, --fade, --whole
    bool merge = false;                        // --form 0
};
int run_convert(const std::vector<std::string>& paths, const ConvertOptions& options);

struct InfoOptions {
    bool json = false;
    InputOptions inputs;
    std::optional<PlayOut> play_out;  // --loops N --fade F: the playing time played out
};
int run_info(const std::vector<std::string>& paths, const InfoOptions& options);

// A system's reason as it reads after a colon: "no such file or directory".
std::string lower_first(std::string reason);

}  // namespace seqconv::tool
