// The two ways parseJson(data, length) reads its bytes. rapidjson reads fastest from text that
// ends in a NUL it meets anyway: a bound checked at every character makes its bare reader take
// half as long again. So bytes up to kJsonCopyLimit are parsed from a terminated copy of the
// reader's own, in which strings are also decoded where they stand rather than copied onto the
// reader's stack; it costs as much memory again as the bytes. Longer ones are read in place, so
// that no input makes the reader hold more than kJsonCopyLimit beyond what the caller holds. Both
// stop at the first NUL inside the bytes and report the same results, errors and offsets. Exposed
// for tests, which check that the two agree.
#pragma once

#include <cstddef>

#include "binding/binding_result.h"

namespace tev::serialization_internal {

// 8 MB on 32-bit builds, where address space is scarce; 64 MB on 64-bit ones, so that bodies of
// up to a few hundred thousand records are read at the faster pace too.
inline constexpr std::size_t kJsonCopyLimit =
    sizeof(void*) == 4 ? std::size_t{8} << 20 : std::size_t{64} << 20;

// Fails with "Error: Out of memory at offset 0." when no copy can be had, and for a length
// that leaves no room for the terminator.
[[nodiscard]] BindingResult parseJsonCopied(const char* data, std::size_t length);
[[nodiscard]] BindingResult parseJsonInPlace(const char* data, std::size_t length);

}  // namespace tev::serialization_internal
