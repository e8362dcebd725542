#pragma once

// How fuzz_convert reads its first input byte: the low four bits choose the
// extension of the input's name, the top bit asks for promotion to form 1.
// The seed generator uses the same table to make its seeds.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace seqconv::fuzz {

// Extensions that matter to detection (LDS is known by its extension alone,
// in any case), near misses, and the other formats' usual names.
inline constexpr std::array<std::optional<std::string_view>, 16> convert_extensions = {
    std::nullopt, "", "mid", "MID", "lds", "LDS", "lDs", "ld", "ldss", "rmi", "hmp", "hmi", "xmi", "mus", "mds", "gmf",
};

inline constexpr std::uint8_t promote_flag = 0x80;

inline std::optional<std::string_view> extension_of_selector(std::uint8_t selector) {
    return convert_extensions[selector & 0x0F];
}

inline bool promotes(std::uint8_t selector) { return (selector & promote_flag) != 0; }

// The selector byte that names `extension` (which must be in the table).
constexpr std::uint8_t selector_for(std::optional<std::string_view> extension, bool promote = false) {
    for (std::size_t i = 0; i < convert_extensions.size(); ++i)
        if (convert_extensions[i] == extension) return static_cast<std::uint8_t>(i | (promote ? promote_flag : 0));
    throw "extension missing from the selector table";
}

}  // namespace seqconv::fuzz
