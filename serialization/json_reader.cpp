#include "serialization/json_reader.h"

#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>

#include "platform/allocator.h"
#include "serialization/internal/json_reader_paths.h"
#include "serialization/internal/json_tree_builder.h"

namespace tev {

// Read where it stands, without a copy, by the way that reads long bodies: one way of reading
// fewer for rapidjson to instantiate in a library that ships with a size budget.
BindingResult parseJson(const char* text) {
  if (text == nullptr) text = "";
  return serialization_internal::parseJsonInPlace(text, std::strlen(text));
}

BindingResult parseJson(const char* data, std::size_t length) {
  if (data == nullptr) length = 0;
  return length <= serialization_internal::kJsonCopyLimit
             ? serialization_internal::parseJsonCopied(data, length)
             : serialization_internal::parseJsonInPlace(data, length);
}

namespace serialization_internal {

BindingResult parseJsonCopied(const char* data, std::size_t length) {
  struct Copy {
    char* text = nullptr;
    ~Copy() { hookedFree(text); }
  } copy;
  if (length != SIZE_MAX) copy.text = static_cast<char*>(hookedAllocate(length + 1));
  if (copy.text == nullptr) {
    BindingResult result;
    result.fail("Error: Out of memory at offset 0.");
    return result;
  }
  if (length != 0) std::memcpy(copy.text, data, length);
  copy.text[length] = '\0';
  // The copy is the reader's own, so it reads in place: strings need no second copy.
  rapidjson::InsituStringStream stream(copy.text);
  return parseJsonStream<rapidjson::kParseInsituFlag>(stream);
}

}  // namespace serialization_internal

bool looksLikeJson(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first != std::string_view::npos && (text[first] == '{' || text[first] == '[');
}

bool looksLikeJson(const char* text) {
  if (text == nullptr) return false;
  while (*text == ' ') ++text;
  return *text == '{' || *text == '[';
}

}  // namespace tev
