// Decoding MessagePack bytes into a BindingProperty tree. The decoder is iterative and keeps at
// most kMaxNestingDepth open containers; the tree it builds is the result's own, nothing refers
// back to the input. There is no MessagePack writer.
#pragma once

#include <cstddef>

#include "binding/binding_result.h"

namespace tev {

// Decodes one MessagePack item from the `size` bytes at `data` into `result`, which must be
// fresh or successful: a result that has already failed is left alone and 0 is returned.
// Returns the number of bytes consumed; bytes after the root item are not read, and input that
// ends inside an open container leaves what was read so far, successfully. Positive fixints
// are signed, uint 8..64 unsigned, ints signed, floats widened to double, str and map keys
// taken as raw bytes, bin a blob. Extension types, the unused byte 0xC1, non-string map keys,
// truncated numbers, lengths and bodies, and containers nested deeper than kMaxNestingDepth
// fail the result with a message naming the byte position; the value is then only the error.
[[nodiscard]] std::size_t decodeMsgPack(BindingResult& result, const void* data, std::size_t size);

}  // namespace tev
