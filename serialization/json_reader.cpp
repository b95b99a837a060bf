#include "serialization/json_reader.h"

#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>

#include "platform/allocator.h"
#include "serialization/internal/json_reader_paths.h"
#include "serialization/internal/json_text_scan.h"
#include "serialization/internal/json_tree_builder.h"

namespace tev::json_internal {

// The reader's own terminated copy of the bytes, read and written in place like rapidjson's
// InsituStringStream. A type of its own so that the reader can scan plain runs of a text a
// block at a time (below): the copy ends in kScanPadding bytes that a block read may touch.
struct CopiedStream {
  using Ch = char;
  static constexpr std::size_t kScanPadding = kScanBlock;

  explicit CopiedStream(char* text) : src_(text), dst_(nullptr), head_(text) {}

  Ch Peek() const { return *src_; }
  Ch Take() { return *src_++; }
  std::size_t Tell() const { return static_cast<std::size_t>(src_ - head_); }

  void Put(Ch c) { *dst_++ = c; }
  Ch* PutBegin() { return dst_ = src_; }
  std::size_t PutEnd(Ch* begin) const { return static_cast<std::size_t>(dst_ - begin); }
  void Flush() {}
  Ch* Push(std::size_t count) {
    Ch* begin = dst_;
    dst_ += count;
    return begin;
  }
  void Pop(std::size_t count) { dst_ -= count; }

  char* src_;
  char* dst_;
  char* head_;
};

}  // namespace tev::json_internal

// rapidjson's inner loops work on a local copy of the stream, which keeps the position in a
// register.
template <>
struct rapidjson::StreamTraits<tev::json_internal::CopiedStream> {
  enum { copyOptimization = 1 };
};

// rapidjson calls this at the start of a text and after each escape; the generic version does
// nothing, leaving every byte to its loop. Behind an escape the text has moved down, so the run
// is copied to where the text now ends.
template <>
template <>
inline RAPIDJSON_FORCEINLINE void rapidjson::GenericReader<
    rapidjson::UTF8<>, rapidjson::UTF8<>, tev::serialization_internal::HookedRapidjsonAllocator>::
    ScanCopyUnescapedString<tev::json_internal::CopiedStream, tev::json_internal::CopiedStream>(
        tev::json_internal::CopiedStream& is, tev::json_internal::CopiedStream& os) {
  const std::size_t length = tev::json_internal::plainRunPadded(is.src_);
  if (os.dst_ != is.src_) std::memmove(os.dst_, is.src_, length);
  is.src_ += length;
  os.dst_ += length;
}

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
  constexpr std::size_t kExtra = 1 + json_internal::CopiedStream::kScanPadding;
  if (length <= SIZE_MAX - kExtra) copy.text = static_cast<char*>(hookedAllocate(length + kExtra));
  if (copy.text == nullptr) {
    BindingResult result;
    result.fail("Error: Out of memory at offset 0.");
    return result;
  }
  if (length != 0) std::memcpy(copy.text, data, length);
  std::memset(copy.text + length, 0, kExtra);
  // The copy is the reader's own, so it reads in place: strings need no second copy.
  json_internal::CopiedStream stream(copy.text);
  return parseJsonStream<rapidjson::kParseInsituFlag>(stream, length);
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
