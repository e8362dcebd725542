#include "formats/fault.h"

namespace seqconv {

std::string_view fault_kind_name(FaultKind kind) {
    switch (kind) {
        case FaultKind::cut_off:
            return "cut off";
        case FaultKind::malformed:
            return "malformed";
        case FaultKind::unsupported:
            return "unsupported";
        case FaultKind::limit:
            return "limit";
        case FaultKind::none:
            break;
    }
    return "";
}

std::string with_thousands(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

std::string declared_past_end(std::string_view part, std::uint64_t declared, std::uint64_t remain) {
    return std::string(part) + " cut off: it declares " + with_thousands(declared) + " bytes and " +
           with_thousands(remain) + (remain == 1 ? " remains" : " remain");
}

}  // namespace seqconv
