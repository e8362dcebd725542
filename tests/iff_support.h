#pragma once

// IFF chunks, written by the test-file kit, for the chunk reader's and the
// XMI reader's tests.

#include <string>

#include "test_support.h"

namespace seqconv::test {

using testkit::iff_chunk;
using testkit::iff_container;

}  // namespace seqconv::test
