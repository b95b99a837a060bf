// Binding of request texts to a function's arguments: header arguments, path captures and query
// values each go to the argument their key names (or into an element of it, for a dotted key),
// as the argument's location allows. One ArgumentBinding serves one request; it writes only the
// argument vector it is given and reads the function descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "binding/binding_function_descriptor.h"
#include "binding/binding_property.h"
#include "binding/binding_result.h"
#include "platform/allocator.h"
#include "router/endpoint.h"
#include "router/request_values.h"

namespace tev {

// The positions of a function's arguments by name (FNV-1a over the name's bytes); with two
// arguments of one name, the first is found.
class ArgumentIndex {
 public:
  explicit ArgumentIndex(const BindingFunctionDescriptor& function);
  std::optional<std::size_t> find(std::string_view name) const;

 private:
  struct Fnv1a {
    std::size_t operator()(std::string_view text) const noexcept;
  };
  HashMap<std::string_view, std::size_t, Fnv1a, StringEqual> positions_;
};

// How many collection elements the dotted keys of one request may create in all, holes
// included. An index that would go past it is out of range: a short query must not be able to
// make the plugin allocate gigabytes.
inline constexpr std::size_t kMaxIndexedElements = 65536;

struct ArgumentBinding {
  const BindingFunctionDescriptor& function;
  std::span<const ArgumentLocation> locations;  // per argument; missing entries are kAny
  const ArgumentIndex& index;
  Vector<BindingProperty>& arguments;  // one per argument of the function
  std::size_t elementBudget = kMaxIndexedElements;

  ArgumentLocation location(std::size_t argument) const {
    return argument < locations.size() ? locations[argument] : ArgumentLocation::kAny;
  }
};

// Sizes the argument vector to the function's arguments (each empty), sets every non-optional
// bool argument to false, then binds the header arguments (source kHeader), the path captures
// (kPath) and the query values (kQuery), in that order, each with bindValue and an empty
// content type, stopping at the first error. Returns result.ok().
[[nodiscard]] bool bindArguments(BindingResult& result, ArgumentBinding& binding,
                                 const RequestValueMap& headerArguments,
                                 const StringMap<String>& captures, const RequestValueMap& query);

// Binds one value. The key's text up to its first '.' names the argument; the rest, if any, is
// a path of '.'-separated segments into it: a segment beginning with a digit is a collection
// index (decimal, 0x hexadecimal or 0 octal), any other a structure member, each created as
// needed. Errors: "Unknown argument '%1' for '%2'.", "Argument '%1' for '%2' was specified in
// an invalid location.", "Expected value for argument '%1'." (an empty value for an argument
// that is no bool, object, vector or struct), "Index %1 is in an incorrect format", "Index %1 is
// out of range" (past the signed 32-bit range or the binding's element budget) and "Argument
// '%1' for '%2' is nested deeper than 128 levels." (more segments than kMaxNestingDepth).
// Without a path an object, vector or struct argument sniffs its text for JSON, MessagePack or
// YAML (decodeText). Does nothing when `result` has failed; returns result.ok().
[[nodiscard]] bool bindValue(BindingResult& result, ArgumentBinding& binding, std::string_view key,
                             std::string_view value, std::string_view contentType,
                             ArgumentLocation source);

}  // namespace tev
