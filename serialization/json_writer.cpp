#include "serialization/json_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "logging/base64.h"
#include "serialization/internal/enumerator_name.h"
#include "serialization/internal/rapidjson_allocator.h"

namespace tev {
namespace {

using serialization_internal::HookedRapidjsonAllocator;
using Buffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, HookedRapidjsonAllocator>;
using CompactWriter =
    rapidjson::Writer<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, HookedRapidjsonAllocator>;
using PrettyWriter =
    rapidjson::PrettyWriter<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, HookedRapidjsonAllocator>;

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
  void visitSigned(std::int64_t value) override { writer_.Int64(value); }
  void visitUnsigned(std::uint64_t value) override { writer_.Uint64(value); }
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

String replaceLineFeeds(const Buffer& buffer, std::string_view lineBreak) {
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
  Buffer buffer(&allocator);
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
