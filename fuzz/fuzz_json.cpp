// JSON reader: any bytes, as pointer and length and as NUL-terminated text. Both forms must
// agree, and what parses must write back as JSON that parses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_tree_check.h"
#include "serialization/json_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const tev::BindingResult bounded = tev::parseJson(text, size);
  const std::string terminated(text, size);
  const tev::BindingResult whole = tev::parseJson(terminated.c_str());
  if (bounded.ok() != whole.ok() || bounded.error() != whole.error()) {
    tev::fuzz::failCheck("the two forms disagree");
  }
  if (bounded.ok()) {
    if (!tev::fuzz::sameTree(bounded.value(), whole.value())) {
      tev::fuzz::failCheck("the two forms built different trees");
    }
    tev::fuzz::checkWritesValidJson(bounded.value());
  }
  (void)tev::looksLikeJson(std::string_view(text, size));
  return 0;
}
