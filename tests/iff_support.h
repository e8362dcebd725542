#pragma once

// IFF chunks written plainly, for the chunk reader's and the XMI reader's
// tests.

#include <string>

#include "test_support.h"

namespace seqconv::test {

// A chunk with its big-endian size, and a pad byte after an odd size.
inline Bytes iff_chunk(const std::string& id, const Bytes& body) {
    Bytes out = concat({bytes_of(id), be32(std::uint32_t(body.size())), body});
    if (body.size() % 2) out.push_back(0);
    return out;
}
inline Bytes iff_container(const std::string& id, const std::string& type, const Bytes& children) {
    return iff_chunk(id, concat({bytes_of(type), children}));
}

}  // namespace seqconv::test
