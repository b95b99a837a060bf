// YAML reader: any bytes, as pointer and length. A parsed tree writes as JSON that parses.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_tree_check.h"
#include "serialization/yaml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const tev::BindingResult result = tev::parseYaml(text, size);
  if (result.ok()) tev::fuzz::checkWritesValidJson(result.value());
  (void)tev::looksLikeYaml(std::string_view(text, size));
  return 0;
}
