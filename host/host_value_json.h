// JSON on the host's side of the boundary: bounded parsing, host values built from JSON for the
// plugin, and the plugin's host values written as JSON text. Values built here point into their
// HostValueArena and stay valid until it is destroyed; the plugin never frees them (texts are
// "not owned", code 5). Not for values the plugin owns: those it frees itself.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/host_boundary.h"

namespace tev::devhost {

// The deepest nesting of arrays and objects the host accepts or writes, the same as the
// plugin's own limit, so that every value the host hands over can be converted by the plugin.
inline constexpr std::size_t kMaxJsonDepth = 128;

// Parses one JSON document. Returns false with a readable `error` for malformed text or text
// nested deeper than kMaxJsonDepth (checked before the parser runs, so no deep tree is built).
[[nodiscard]] bool parseJson(std::string_view text, nlohmann::json& out, std::string& error);

// Compact JSON text of `value`, invalid UTF-8 replaced by U+FFFD. Never fails.
std::string dumpJson(const nlohmann::json& value);

// Owns the texts and arrays of host values built from JSON.
class HostValueArena {
 public:
  HostValueArena() = default;
  HostValueArena(const HostValueArena&) = delete;
  HostValueArena& operator=(const HostValueArena&) = delete;

  // A host value for `value`: null 0, bool 1, negative integers 2, other integers 3, other
  // numbers 4, strings 5, arrays 9, objects 10 with their keys in the object's order and
  // keyOwned 0.
  HostValue build(const nlohmann::json& value);
  // A copy of `text` that lives as long as the arena.
  const char* keep(std::string_view text);

 private:
  std::deque<std::string> texts_;
  std::deque<std::vector<HostValue>> arrays_;
  std::deque<std::vector<HostStructureEntry>> entries_;
};

// Appends the JSON text of a host value the plugin wrote: empty as null, blobs as Base64 text,
// floats that JSON cannot hold as null. Returns false with `error` for an unknown type code, a
// null array, text or key, or nesting deeper than kMaxJsonDepth; `out` is then incomplete.
[[nodiscard]] bool writeHostValueJson(const HostValue& value, std::string& out, std::string& error);

// Appends `text` as a JSON string literal, escaping as JSON requires and replacing invalid
// UTF-8 by U+FFFD.
void appendJsonString(std::string_view text, std::string& out);

}  // namespace tev::devhost
