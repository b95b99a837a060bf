// JSON round trip: whatever parses, written compactly or prettily and parsed again, gives the
// same tree (doubles within rapidjson's normal-precision reading).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_tree_check.h"
#include "serialization/json_reader.h"
#include "serialization/json_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tev::BindingResult first = tev::parseJson(reinterpret_cast<const char*>(data), size);
  if (!first.ok()) return 0;
  for (const char* lineBreak : {static_cast<const char*>(nullptr), "\r\n", "\n"}) {
    const tev::String text = tev::writeJson(first.value(), nullptr, lineBreak);
    if (first.value().isEmpty()) {
      if (!text.empty()) tev::fuzz::failCheck("an empty root wrote text");
      continue;
    }
    const tev::BindingResult second = tev::parseJson(text.data(), text.size());
    if (!second.ok()) tev::fuzz::failCheck("written JSON does not parse");
    if (!tev::fuzz::sameTree(first.value(), second.value())) {
      tev::fuzz::failCheck("the tree changed on the round trip");
    }
  }
  return 0;
}
