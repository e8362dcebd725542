#pragma once

#include <string>
#include <vector>

namespace seqconv {

// Converts every input named in `args` (index 0 is the program's name) to
// "<name>.mid", printing messages to standard error. Returns the exit status:
// 1 after the usage text or a file error, which ends the run at once, and 0
// otherwise, also when single conversions failed.
int run_batch(const std::vector<std::string>& args);

}  // namespace seqconv
