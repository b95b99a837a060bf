// The one nesting limit of the framework: how deep a value tree may be when it arrives from
// outside (host values, JSON, MessagePack, YAML, request paths). Readers refuse deeper input
// with an error rather than recursing without bound; never raise it per reader.
#pragma once

#include <cstddef>

namespace tev {

// A value may sit inside at most this many collections and structures: a top-level collection
// counts as level 1, its elements' containers as level 2, and so on. Input whose containers
// nest one level deeper is refused by every reader.
inline constexpr std::size_t kMaxNestingDepth = 128;

}  // namespace tev
