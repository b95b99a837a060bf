// JSON text to and from the host's value records, for the test host: values the host hands to
// the plugin are built here from JSON and stay owned by the HostValueStore that made them;
// values the plugin hands over are read back as canonical compact JSON.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/host_boundary.h"

namespace plugintest {

class HostValueStore {
 public:
  // A host value for `json` (null, booleans, numbers, texts, arrays and objects; integers
  // become signed or unsigned values, other numbers floats). Texts are not owned (type 5). The
  // value and everything it points to live as long as the store. Invalid JSON aborts the test.
  HostValue fromJson(const std::string& json);
  // A text value whose characters live in the store.
  const char* keep(const std::string& text);

 private:
  std::deque<std::string> texts_;
  std::deque<std::vector<HostValue>> collections_;
  std::deque<std::vector<HostStructureEntry>> structures_;
};

// Compact JSON of a host value: members in entry order, blobs as "blob:<hex>", unknown type codes
// as "?<code>".
std::string toJson(const HostValue& value);

}  // namespace plugintest
