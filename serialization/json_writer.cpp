#include "serialization/json_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "logging/base64.h"
#include "serialization/internal/enumerator_name.h"
#include "serialization/internal/rapidjson_allocator.h"

namespace tev::serialization_internal {

// The output of both writers: rapidjson's string buffer over the allocation hooks.
using JsonBuffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, HookedRapidjsonAllocator>;
using CompactWriter =
    rapidjson::Writer<JsonBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, HookedRapidjsonAllocator>;
using PrettyWriter = rapidjson::PrettyWriter<JsonBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                                             HookedRapidjsonAllocator>;

}  // namespace tev::serialization_internal

// rapidjson writes numbers straight into its own StringBuffer but copies them byte by byte into
// any other buffer; these are its StringBuffer versions for the hooked buffer, so numbers cost
// the same here. NaN and infinities never reach them (the visitor writes null instead).
namespace rapidjson {

template <>
inline bool tev::serialization_internal::CompactWriter::WriteInt(int value) {
  char* buffer = os_->Push(11);
  const char* end = internal::i32toa(value, buffer);
  os_->Pop(static_cast<size_t>(11 - (end - buffer)));
  return true;
}

template <>
inline bool tev::serialization_internal::CompactWriter::WriteUint(unsigned value) {
  char* buffer = os_->Push(10);
  const char* end = internal::u32toa(value, buffer);
  os_->Pop(static_cast<size_t>(10 - (end - buffer)));
  return true;
}

template <>
inline bool tev::serialization_internal::CompactWriter::WriteInt64(int64_t value) {
  char* buffer = os_->Push(21);
  const char* end = internal::i64toa(value, buffer);
  os_->Pop(static_cast<size_t>(21 - (end - buffer)));
  return true;
}

template <>
inline bool tev::serialization_internal::CompactWriter::WriteUint64(uint64_t value) {
  char* buffer = os_->Push(20);
  const char* end = internal::u64toa(value, buffer);
  os_->Pop(static_cast<size_t>(20 - (end - buffer)));
  return true;
}

template <>
inline bool tev::serialization_internal::CompactWriter::WriteDouble(double value) {
  if (internal::Double(value).IsNanOrInf()) return false;
  char* buffer = os_->Push(25);
  char* end = internal::dtoa(value, buffer, maxDecimalPlaces_);
  os_->Pop(static_cast<size_t>(25 - (end - buffer)));
  return true;
}

}  // namespace rapidjson

namespace tev {
namespace {

using serialization_internal::CompactWriter;
using serialization_internal::HookedRapidjsonAllocator;
using serialization_internal::JsonBuffer;
using serialization_internal::PrettyWriter;

rapidjson::SizeType jsonLength(std::size_t length) {
  return static_cast<rapidjson::SizeType>(length);
}

// Forwards the walk of a tree to one of rapidjson's writers.
template <typename Writer>
class JsonVisitor final : public BindingPropertyVisitor {
 public:
  JsonVisitor(Writer& writer, const BindingRegistry* registry)
      : writer_(writer), registry_(registry) {}

  void visitNull() override { writer_.Null(); }
  void visitBool(bool value) override { writer_.Bool(value); }
  // The 32-bit forms write the same digits with a cheaper conversion.
  void visitSigned(std::int64_t value) override {
    if (value >= INT32_MIN && value <= INT32_MAX) {
      writer_.Int(static_cast<int>(value));
    } else {
      writer_.Int64(value);
    }
  }
  void visitUnsigned(std::uint64_t value) override {
    if (value <= UINT32_MAX) {
      writer_.Uint(static_cast<unsigned>(value));
    } else {
      writer_.Uint64(value);
    }
  }
  void visitFloat(double value) override {
    // rapidjson refuses NaN and infinities after it has written the separator, which would
    // leave "[1,]" behind; null keeps the text valid JSON.
    if (std::isfinite(value)) {
      writer_.Double(value);
    } else {
      writer_.Null();
    }
  }
  void visitString(std::string_view value) override {
    writer_.String(value.data(), jsonLength(value.size()));
  }
  void visitBlob(std::span<const std::uint8_t> bytes) override {
    const String text = base64Encode(bytes.data(), bytes.size());
    writer_.String(text.data(), jsonLength(text.size()));
  }
  void visitEnum(std::int32_t value, std::uint32_t typeId) override {
    const std::optional<std::string_view> name =
        serialization_internal::enumeratorName(registry_, typeId, value);
    if (name) {
      writer_.String(name->data(), jsonLength(name->size()));
    } else {
      writer_.Int64(value);
    }
  }

  void beginCollection(std::size_t) override { writer_.StartArray(); }
  void beginElement(std::size_t) override {}
  void endElement(std::size_t) override {}
  void endCollection() override { writer_.EndArray(); }

  void beginStructure(std::size_t) override { writer_.StartObject(); }
  void beginMember(std::string_view key) override {
    writer_.Key(key.data(), jsonLength(key.size()));
  }
  void endMember(std::string_view) override {}
  void endStructure() override { writer_.EndObject(); }

 private:
  Writer& writer_;
  const BindingRegistry* registry_;
};

String replaceLineFeeds(const JsonBuffer& buffer, std::string_view lineBreak) {
  const std::string_view text(buffer.GetString(), buffer.GetSize());
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  String out;
  out.reserve(text.size() + lines * (lineBreak.size() - 1));
  for (char c : text) {
    if (c == '\n') {
      out.append(lineBreak.data(), lineBreak.size());
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

String writeJson(const BindingProperty& value, const BindingRegistry* registry,
                 const char* lineBreak) {
  if (value.isEmpty()) return String();
  HookedRapidjsonAllocator allocator;
  JsonBuffer buffer(&allocator);
  if (lineBreak != nullptr && *lineBreak != '\0') {
    PrettyWriter writer(buffer, &allocator);
    writer.SetIndent(' ', 4);
    JsonVisitor<PrettyWriter> visitor(writer, registry);
    value.accept(visitor);
    if (std::strcmp(lineBreak, "\n") != 0) return replaceLineFeeds(buffer, lineBreak);
  } else {
    CompactWriter writer(buffer, &allocator);
    JsonVisitor<CompactWriter> visitor(writer, registry);
    value.accept(visitor);
  }
  return String(buffer.GetString(), buffer.GetSize());
}

}  // namespace tev
