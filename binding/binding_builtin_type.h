// The builtin type codes of the binding layer and their names in help and messages. A code says
// how a native value is shaped (scalar, text, vector, registered record...); registered records
// and enumerations are told apart by their descriptors, not by codes.
#pragma once

#include <cstdint>
#include <string_view>

namespace tev {

enum class BindingBuiltinType : std::uint32_t {
  kNone = 0,
  kBool = 1,
  kInt8 = 2,
  kUint8 = 3,
  kInt16 = 4,
  kUint16 = 5,
  kInt32 = 6,
  kUint32 = 7,
  kInt64 = 8,
  kUint64 = 9,
  kFloat = 10,
  kDouble = 11,
  kString = 12,
  kObject = 13,
  kBlob = 14,
  kVector = 15,
  kEnum = 16,
  kStruct = 17,
  kCallback = 18,
  kMap = 19,
};

// "bool" ... "map" for codes 1 to 19; the empty text for 0 and for any other code.
std::string_view bindingBuiltinTypeName(BindingBuiltinType type);

}  // namespace tev
