#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/driver.h"

namespace seqconv {

// Converts the inputs args[order[0]], args[order[1]], ... as one file after
// the other would (the same outputs, messages, exit status and file-system
// operations in the same order), with the conversions run on `workers`
// ahead of their turn. `settings.workers` is that pool.
int convert_ahead(const std::vector<std::string>& args, const std::vector<std::size_t>& order,
                  const RunSettings& settings, const Workers& workers);

}  // namespace seqconv
