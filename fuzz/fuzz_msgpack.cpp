// MessagePack reader: any bytes. The consumed count stays within the input, and a decoded tree
// writes as JSON that parses.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_tree_check.h"
#include "serialization/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tev::BindingResult result;
  const std::size_t consumed = tev::decodeMsgPack(result, data, size);
  if (consumed > size) tev::fuzz::failCheck("consumed more than the input");
  if (result.ok()) tev::fuzz::checkWritesValidJson(result.value());
  return 0;
}
