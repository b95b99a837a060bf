// Conversion between BindingProperty trees and the host's plain HostValue records, and the
// release of what a HostValue owns. Every text, byte array and element array made here comes
// from the allocation hooks and is freed by clearHostValue; values that arrive from the host are
// only read. Nothing here throws; failures are reported as values.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"
#include "platform/host_boundary.h"

namespace tev {

class BindingRegistry;

// "bool", "signed", "unsigned", "float", "string" (5, 6), "blob" (7, 8), "collection",
// "structure"; the empty text for 0 and any other code.
std::string_view hostValueKindName(std::uint32_t type);

// Host value to value: `target` becomes the value of `source` (texts by their NUL terminator,
// blobs by their length, structure entries in entry order; a repeated key keeps the later
// value). A value nested deeper than kMaxNestingDepth, an unknown type code, a null array or
// byte pointer with a non-zero count, a null key, or more elements than a collection may hold
// stop the conversion: `outcome` then has its value cleared, its error text replaced by a copy of
// the message naming `path`, and its error flag set, and `target` may be partly built. Returns
// whether the conversion succeeded. `outcome` must be zeroed or hold an earlier outcome.
[[nodiscard]] bool hostValueToProperty(HostResult& outcome, BindingProperty& target,
                                       const HostValue& source, std::string_view path);

// Value to host value: writes a new value into `target` (whatever it held is overwritten, not
// freed). Strings and blobs are copied (types 6 and 8); enum values become their enumerator's
// name (type 6) when `registry` knows one, else their number (type 2); structures list their
// members in key order with owned key copies. Returns false, leaving `target` empty, when memory
// runs out, the tree is nested deeper than kMaxNestingDepth, or a size does not fit 32 bits.
[[nodiscard]] bool propertyToHostValue(HostValue& target, const BindingProperty& source,
                                       const BindingRegistry* registry);

// Frees what `value` owns (texts of type 6, bytes of type 8, arrays, owned keys, recursively)
// and sets it to the empty value. Use only on values built by the plugin.
void clearHostValue(HostValue& value);

// Clears the value, frees the error text and clears the error flag.
void clearHostResult(HostResult& result);

}  // namespace tev
