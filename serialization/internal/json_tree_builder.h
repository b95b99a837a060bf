// The handler that builds a tree while rapidjson's SAX reader reads, and the parse around it,
// shared by the JSON reader's two ways of reading (see json_reader_paths.h). Each way lives in
// a file of its own: with both of rapidjson's readers instantiated in one file, the compiler
// inlined less into each and the parse ran about 15 % slower.
#pragma once

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "binding/binding_result.h"
#include "binding/internal/deferred_strings.h"
#include "binding/nesting_limit.h"
#include "logging/format_message.h"
#include "serialization/internal/rapidjson_allocator.h"

namespace tev::serialization_internal {

// Builds the tree while rapidjson reads: each value lands in its final place, so no document
// is built in between. Open containers are kept on a fixed stack, which is also what bounds
// the nesting; rapidjson recurses once per level, so refusing the level in time keeps the call
// stack small.
//
// String members are set a few texts late (see DeferredStrings) and finish() sets the last of
// them. Elements of arrays are set at once: their storage moves as the array grows. kInSitu
// says that the texts stay put until the parse ends (read in situ); otherwise they live on the
// reader's stack only during the call, and waiting texts are copied.
template <bool kInSitu>
class JsonTreeBuilder {
 public:
  using Ch = char;
  using SizeType = rapidjson::SizeType;

  // Why the builder stopped the reader, when it did.
  enum class Refusal { kNone, kTooDeep, kTooBig };

  explicit JsonTreeBuilder(BindingProperty& root) : next_(&root), deferred_(!kInSitu) {}

  Refusal refusal() const { return refusal_; }

  // Completes the tree once the reader has read all of it. Throws std::bad_alloc.
  void finish() { deferred_.drain(); }

  bool Null() {
    BindingProperty& value = target();
    if (!value.isEmpty()) value.reset();  // a repeated key
    return true;
  }
  bool Bool(bool value) {
    target().setBool(value);
    return true;
  }
  bool Int(int value) {
    target().setSigned(value);
    return true;
  }
  bool Uint(unsigned value) {
    target().setUnsigned(value);
    return true;
  }
  bool Int64(std::int64_t value) {
    target().setSigned(value);
    return true;
  }
  bool Uint64(std::uint64_t value) {
    target().setUnsigned(value);
    return true;
  }
  bool Double(double value) {
    // With normal precision rapidjson turns some numbers past the double range, such as
    // 18446744076744e+300, into infinity instead of reporting them; refuse those as it refuses
    // 1e400.
    if (!std::isfinite(value)) {
      refusal_ = Refusal::kTooBig;
      return false;
    }
    target().setFloat(value);
    return true;
  }
  // Only called with kParseNumbersAsStringsFlag, which this reader does not use.
  bool RawNumber(const Ch* text, SizeType length, bool copy) { return String(text, length, copy); }
  bool String(const Ch* text, SizeType length, bool) {
    if (depth_ == 0 || !stack_[depth_ - 1]->isCollection()) {
      deferred_.set(*next_, std::string_view(text, length));
      return true;
    }
    target().setString(std::string_view(text, length));
    return true;
  }

  bool StartObject() {
    BindingProperty* value = open();
    if (value == nullptr) return false;
    value->makeStructure();
    return true;
  }
  bool Key(const Ch* text, SizeType length, bool) {
    next_ = &stack_[depth_ - 1]->member(std::string_view(text, length));
    // A repeated key: its member may still wait for its first text, which must not land on
    // whatever replaces it.
    if (!next_->isEmpty()) deferred_.drain();
    return true;
  }
  bool EndObject(SizeType) {
    --depth_;
    return true;
  }
  bool StartArray() {
    BindingProperty* value = open();
    if (value == nullptr) return false;
    value->makeCollection();
    return true;
  }
  bool EndArray(SizeType) {
    --depth_;
    return true;
  }

 private:
  // The value the next event fills: a new element inside an open array, otherwise the member
  // named by the last key (or the root).
  BindingProperty& target() {
    if (depth_ != 0 && stack_[depth_ - 1]->isCollection()) return stack_[depth_ - 1]->append();
    return *next_;
  }

  BindingProperty* open() {
    if (depth_ == kMaxNestingDepth) {
      refusal_ = Refusal::kTooDeep;
      return nullptr;
    }
    BindingProperty& value = target();
    // A repeated key replaces its member instead of merging the two containers.
    if (!value.isEmpty()) value.reset();
    stack_[depth_++] = &value;
    return &value;
  }

  BindingProperty* stack_[kMaxNestingDepth];
  std::size_t depth_ = 0;
  BindingProperty* next_;
  Refusal refusal_ = Refusal::kNone;
  internal::DeferredStrings deferred_;
};

// Bodies from this size on tell their tree's string table to expect one distinct text per
// kBytesPerDistinctText bytes, which answers of the store service and the like exceed (a record
// of about 200 bytes names one item of its own). A table of a million texts grown by doubling
// from 8 buckets rehashes every text again on the way, each one a cache miss; with the estimate
// it grows in one step once it has a sixteenth of them, and a body with few texts never does.
inline constexpr std::size_t kStringTableHintFrom = std::size_t{16} << 10;
inline constexpr std::size_t kBytesPerDistinctText = 128;

// kParseInsituFlag for a stream over text the reader may overwrite: strings are then decoded
// where they stand instead of being copied onto the reader's stack first.
template <unsigned kFlags = rapidjson::kParseDefaultFlags, typename Stream>
BindingResult parseJsonStream(Stream& stream, std::size_t length) {
  BindingResult result;
  if (length >= kStringTableHintFrom) {
    try {
      result.value().expectStrings(length / kBytesPerDistinctText);
    } catch (const std::bad_alloc&) {
      // Without an arena there is nothing to tell; the parse finds out for itself.
    }
  }
  JsonTreeBuilder<(kFlags & rapidjson::kParseInsituFlag) != 0> builder(result.value());
  HookedRapidjsonAllocator allocator;
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, HookedRapidjsonAllocator> reader(
      &allocator);
  try {
    // Never kParseStopWhenDoneFlag: rapidjson itself reports an empty document and content after
    // the root.
    const rapidjson::ParseResult outcome = reader.Parse<kFlags>(stream, builder);
    if (outcome.IsError()) {
      const std::uint64_t offset = outcome.Offset();
      const bool stopped = outcome.Code() == rapidjson::kParseErrorTermination;
      if (stopped && builder.refusal() == decltype(builder)::Refusal::kTooDeep) {
        // rapidjson reports the position after the opening bracket; name the bracket itself.
        result.fail(formatMessage("Error: Nesting deeper than %1 levels at offset %2.",
                                  kMaxNestingDepth, offset - 1));
      } else if (stopped && builder.refusal() == decltype(builder)::Refusal::kTooBig) {
        // The offset is the number's start, as for rapidjson's own refusal.
        result.fail(formatMessage("Error: %1 at offset %2.",
                                  rapidjson::GetParseError_En(rapidjson::kParseErrorNumberTooBig),
                                  offset));
      } else {
        result.fail(formatMessage("Error: %1 at offset %2.",
                                  rapidjson::GetParseError_En(outcome.Code()), offset));
      }
    } else {
      builder.finish();
    }
  } catch (const std::length_error&) {
    result.fail(formatMessage("Error: Too many elements at offset %1.",
                              static_cast<std::uint64_t>(stream.Tell())));
  } catch (const std::bad_alloc&) {
    result.fail(formatMessage("Error: Out of memory at offset %1.",
                              static_cast<std::uint64_t>(stream.Tell())));
  }
  return result;
}

}  // namespace tev::serialization_internal
