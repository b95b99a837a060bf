// The JSON reader's way for bytes past the copy limit: read in place through a stream that ends
// the text at the end of the bytes.
#include <rapidjson/reader.h>

#include <cstddef>
#include <cstring>

#include "serialization/internal/json_reader_paths.h"
#include "serialization/internal/json_text_scan.h"
#include "serialization/internal/json_tree_builder.h"

namespace tev::json_internal {

// rapidjson ends a text where Peek() yields '\0'; this stream yields it at the end of the
// bytes as well, so a text without terminator is never read past its length.
class BoundedStream {
 public:
  using Ch = char;

  BoundedStream(const char* data, std::size_t length)
      : begin_(data), current_(data), end_(data + length) {}

  Ch Peek() const { return current_ != end_ ? *current_ : '\0'; }
  Ch Take() { return current_ != end_ ? *current_++ : '\0'; }
  std::size_t Tell() const { return static_cast<std::size_t>(current_ - begin_); }

  // For the block scan below.
  const char* current() const { return current_; }
  const char* end() const { return end_; }
  void skip(std::size_t count) { current_ += count; }

  // Only in-situ parsing writes to the input; this reader never does.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

 private:
  const char* begin_;
  const char* current_;
  const char* end_;
};

}  // namespace tev::json_internal

// rapidjson's inner loops may work on a local copy of a stream that is a pair of pointers, which
// keeps the position in a register instead of reloading it around every handler call.
template <>
struct rapidjson::StreamTraits<tev::json_internal::BoundedStream> {
  enum { copyOptimization = 1 };
};

// rapidjson calls this at the start of a text and after each escape, with the stack it copies
// texts onto; the generic version does nothing, leaving every byte to its loop. Only whole
// blocks before the end of the bytes are scanned: the loop takes what is left.
template <>
template <>
inline RAPIDJSON_FORCEINLINE void rapidjson::GenericReader<
    rapidjson::UTF8<>, rapidjson::UTF8<>, tev::serialization_internal::HookedRapidjsonAllocator>::
    ScanCopyUnescapedString<
        tev::json_internal::BoundedStream,
        rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>,
                                 tev::serialization_internal::HookedRapidjsonAllocator>::
            StackStream<char>>(tev::json_internal::BoundedStream& is, StackStream<char>& os) {
  // At most a gigabyte at a time, so that the count fits rapidjson's 32-bit sizes; the loop goes
  // on from there.
  constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;
  const char* end = is.end();
  if (static_cast<std::size_t>(end - is.current()) > kMostAtOnce) end = is.current() + kMostAtOnce;
  const std::size_t length = tev::json_internal::plainRunBounded(is.current(), end);
  if (length == 0) return;
  std::memcpy(os.Push(static_cast<rapidjson::SizeType>(length)), is.current(), length);
  is.skip(length);
}

namespace tev::serialization_internal {

BindingResult parseJsonInPlace(const char* data, std::size_t length) {
  json_internal::BoundedStream stream(data, length);
  return parseJsonStream(stream, length);
}

}  // namespace tev::serialization_internal
