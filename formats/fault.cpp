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

}  // namespace seqconv
