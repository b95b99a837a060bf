// The named texts of one request (query values, header arguments) in the order their keys first
// appeared; a repeated key keeps its first place and its last value. Owns copies of its texts;
// lives for one request.
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/allocator.h"

namespace tev {

class RequestValueMap {
 public:
  using Entry = std::pair<String, String>;

  // Stores `value` under `key`, replacing the value of an earlier equal key in its place.
  void set(std::string_view key, std::string_view value);
  // The value under `key`, or null.
  const String* find(std::string_view key) const;

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const Entry* begin() const { return entries_.data(); }
  const Entry* end() const { return entries_.data() + entries_.size(); }

 private:
  Vector<Entry> entries_;
  HashMap<String, std::size_t, StringHash, StringEqual> positions_;
};

// The query of a request target: the text after the first '?', split at every '&' (empty
// pieces included); in each piece the first '=' separates key and value (none: the value is
// empty), and both are percent-decoded. No '?' gives an empty map.
RequestValueMap parseQuery(std::string_view target);

}  // namespace tev
