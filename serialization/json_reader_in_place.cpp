// The JSON reader's way for bytes past the copy limit: read in place through a stream that ends
// the text at the end of the bytes.
#include <rapidjson/reader.h>

#include <cstddef>

#include "serialization/internal/json_reader_paths.h"
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

namespace tev::serialization_internal {

BindingResult parseJsonInPlace(const char* data, std::size_t length) {
  json_internal::BoundedStream stream(data, length);
  return parseJsonStream(stream);
}

}  // namespace tev::serialization_internal
