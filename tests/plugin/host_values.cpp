#include "tests/plugin/host_values.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plugintest {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void write(Writer& writer, const HostValue& value) {
  switch (value.type) {
    case kHostValueEmpty:
      writer.Null();
      return;
    case kHostValueBool:
      writer.Bool(value.payload.boolean != 0);
      return;
    case kHostValueSigned:
      writer.Int64(value.payload.signedValue);
      return;
    case kHostValueUnsigned:
      writer.Uint64(value.payload.unsignedValue);
      return;
    case kHostValueFloat:
      writer.Double(value.payload.floatValue);
      return;
    case kHostValueString:
    case kHostValueOwnedString:
      writer.String(value.payload.string.text != nullptr ? value.payload.string.text : "");
      return;
    case kHostValueBlob:
    case kHostValueOwnedBlob: {
      std::string text = "blob:";
      char digits[3];
      for (std::uint32_t i = 0; i < value.payload.blob.length; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", value.payload.blob.bytes[i]);
        text += digits;
      }
      writer.String(text.c_str());
      return;
    }
    case kHostValueCollection:
      writer.StartArray();
      for (std::uint32_t i = 0; i < value.payload.collection.count; ++i) {
        write(writer, value.payload.collection.elements[i]);
      }
      writer.EndArray();
      return;
    case kHostValueStructure:
      writer.StartObject();
      for (std::uint32_t i = 0; i < value.payload.structure.count; ++i) {
        const HostStructureEntry& entry = value.payload.structure.entries[i];
        writer.Key(entry.key != nullptr ? entry.key : "");
        // Entries are packed: the member value is copied out before it is read.
        HostValue member;
        std::memcpy(&member,
                    reinterpret_cast<const char*>(&entry) + offsetof(HostStructureEntry, value),
                    sizeof member);
        write(writer, member);
      }
      writer.EndObject();
      return;
    default:
      writer.String(std::string("?").append(std::to_string(value.type)).c_str());
      return;
  }
}

}  // namespace

const char* HostValueStore::keep(const std::string& text) {
  return texts_.emplace_back(text).c_str();
}

HostValue HostValueStore::fromJson(const std::string& json) {
  rapidjson::Document document;
  document.Parse(json.c_str());
  if (document.HasParseError()) {
    std::fprintf(stderr, "test host: invalid JSON: %s\n", json.c_str());
    std::abort();
  }
  struct Builder {
    HostValueStore& store;
    HostValue build(const rapidjson::Value& source) {
      HostValue value{};
      if (source.IsNull()) {
        value.type = kHostValueEmpty;
      } else if (source.IsBool()) {
        value.type = kHostValueBool;
        value.payload.boolean = source.GetBool() ? 1 : 0;
      } else if (source.IsUint64() && !source.IsInt64()) {
        value.type = kHostValueUnsigned;
        value.payload.unsignedValue = source.GetUint64();
      } else if (source.IsInt64()) {
        value.type = kHostValueSigned;
        value.payload.signedValue = source.GetInt64();
      } else if (source.IsNumber()) {
        value.type = kHostValueFloat;
        value.payload.floatValue = source.GetDouble();
      } else if (source.IsString()) {
        value.type = kHostValueString;
        value.payload.string.text =
            store.keep(std::string(source.GetString(), source.GetStringLength()));
        value.payload.string.length = source.GetStringLength();
      } else if (source.IsArray()) {
        std::vector<HostValue> elements;
        for (const auto& element : source.GetArray()) elements.push_back(build(element));
        std::vector<HostValue>& kept = store.collections_.emplace_back(std::move(elements));
        value.type = kHostValueCollection;
        value.payload.collection.elements = kept.data();
        value.payload.collection.count = static_cast<std::uint32_t>(kept.size());
      } else {
        std::vector<HostStructureEntry> entries;
        for (const auto& member : source.GetObject()) {
          HostStructureEntry entry{};
          entry.key = store.keep(member.name.GetString());
          entry.value = build(member.value);
          entry.keyOwned = 0;
          entries.push_back(entry);
        }
        std::vector<HostStructureEntry>& kept = store.structures_.emplace_back(std::move(entries));
        value.type = kHostValueStructure;
        value.payload.structure.entries = kept.data();
        value.payload.structure.count = static_cast<std::uint32_t>(kept.size());
      }
      return value;
    }
  };
  Builder builder{*this};
  return builder.build(document);
}

std::string toJson(const HostValue& value) {
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  write(writer, value);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace plugintest
