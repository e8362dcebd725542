#pragma once

#include <cstdint>
#include <string_view>

namespace seqconv {

// The input formats, in the order in which they are tried.
enum class InputFormat : std::uint8_t { smf, rmid, hmp, hmi, xmi, mus, mids, lds, gmf };

// The format's short name: "SMF", "RMID", "HMP", "HMI", "XMI", "MUS", "MIDS",
// "LDS" or "GMF".
std::string_view format_name(InputFormat format);

}  // namespace seqconv
