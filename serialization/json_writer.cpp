#include "serialization/json_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "logging/base64.h"
#include "serialization/internal/enumerator_name.h"
#include "serialization/internal/json_long_text.h"
#include "serialization/internal/rapidjson_allocator.h"

namespace tev::serialization_internal {

// The output of both writers: rapidjson's output stream over the very String that writeJson
// returns. Copying a long text into a new String at the end took, on the 32-bit Windows target,
// a fresh block whose pages faulted in one by one: a fifth of writing a 1 MB body. The String
// holds what is written plus the room ahead of the cursor. It grows by half of what is written
// (the block underneath at least doubles, and its bytes past the last resize are never touched);
// `take` cuts it down to what was written.
class StringOutput {
 public:
  using Ch = char;

  explicit StringOutput(std::size_t room) {
    text_.resize(room);
    begin_ = text_.data();
    cursor_ = begin_;
    end_ = begin_ + room;
  }
  StringOutput(const StringOutput&) = delete;
  StringOutput& operator=(const StringOutput&) = delete;

  void Put(char c) {
    if (cursor_ == end_) grow(1);
    *cursor_++ = c;
  }
  void PutUnsafe(char c) { *cursor_++ = c; }
  void Reserve(std::size_t count) {
    if (static_cast<std::size_t>(end_ - cursor_) < count) grow(count);
  }
  void Flush() {}
  // The same as rapidjson's StringBuffer: room for `count` characters, given back by Pop.
  char* Push(std::size_t count) {
    Reserve(count);
    char* at = cursor_;
    cursor_ += count;
    return at;
  }
  void Pop(std::size_t count) { cursor_ -= count; }

  std::string_view written() const { return {begin_, static_cast<std::size_t>(cursor_ - begin_)}; }
  String take() {
    text_.resize(static_cast<std::size_t>(cursor_ - begin_));
    begin_ = cursor_ = end_ = nullptr;
    return std::move(text_);
  }

 private:
  void grow(std::size_t count) {
    const std::size_t used = static_cast<std::size_t>(cursor_ - begin_);
    // On 32-bit builds a text of a gigabyte asks for room that no size can hold: fail like any
    // other allocation instead of wrapping round to a smaller block.
    if (count > text_.max_size() - used) throw std::bad_alloc();
    const std::size_t step = std::max(count, used / 2 + 64);
    text_.resize(step <= text_.max_size() - used ? used + step : used + count);
    begin_ = text_.data();
    cursor_ = begin_ + used;
    end_ = begin_ + text_.size();
  }

  String text_;
  char* begin_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
};

using CompactWriter =
    rapidjson::Writer<StringOutput, rapidjson::UTF8<>, rapidjson::UTF8<>, HookedRapidjsonAllocator>;
using PrettyWriter = rapidjson::PrettyWriter<StringOutput, rapidjson::UTF8<>, rapidjson::UTF8<>,
                                             HookedRapidjsonAllocator>;

}  // namespace tev::serialization_internal

// rapidjson reserves room and then writes without a check into its own StringBuffer, and writes
// numbers straight into it; into any other stream it writes every character through a checked
// Put and copies numbers byte by byte. These are its StringBuffer versions for the String output,
// so writing costs the same. NaN and infinities never reach the number writers (the tree walk
// writes null instead).
namespace rapidjson {

template <>
inline void PutReserve(tev::serialization_internal::StringOutput& stream, size_t count) {
  stream.Reserve(count);
}

template <>
inline void PutUnsafe(tev::serialization_internal::StringOutput& stream, char c) {
  stream.PutUnsafe(c);
}

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
using serialization_internal::PrettyWriter;
using serialization_internal::StringOutput;

rapidjson::SizeType jsonLength(std::size_t length) {
  return static_cast<rapidjson::SizeType>(length);
}

// rapidjson's writers take a text's length in 32 bits and reserve room for six times as many
// characters, also counted in 32 bits: a text of 683 MB or more would be written past the room
// it got, and one of 4 GB or more cut short. Texts longer than a limit far below both are
// written here instead, into the same output, with the same escapes: the two-character forms
// for the quote, the backslash, backspace, tab, line feed, form feed and carriage return, and
// \u00XX (upper-case hex) for the other bytes below 0x20. Every other byte stays as it is.
void writeQuoted(StringOutput& output, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // The short escapes of the bytes 0x08 to 0x0D; 0x0B has none.
  static constexpr char kShort[] = {'b', 't', 'n', 0, 'f', 'r'};
  output.Put('"');
  constexpr std::size_t kChunk = 4096;
  for (std::size_t at = 0; at < text.size(); at += kChunk) {
    const std::size_t count = std::min(kChunk, text.size() - at);
    output.Reserve(count * 6);
    for (const char c : text.substr(at, count)) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x20 && c != '"' && c != '\\') {
        output.PutUnsafe(c);
        continue;
      }
      output.PutUnsafe('\\');
      if (byte >= 0x20) {
        output.PutUnsafe(c);
      } else if (byte >= 0x08 && byte <= 0x0D && kShort[byte - 0x08] != 0) {
        output.PutUnsafe(kShort[byte - 0x08]);
      } else {
        for (const char digit : {'u', '0', '0', kHex[byte >> 4], kHex[byte & 15]}) {
          output.PutUnsafe(digit);
        }
      }
    }
  }
  output.Put('"');
}

// Walks a tree into one of rapidjson's writers. It reads the values itself rather than taking
// BindingProperty::accept's virtual calls: a call per value and two more per element and member
// are most of what writing small values and deep nesting costs. Recurses once per level.
template <typename Writer>
class JsonTreeWriter {
 public:
  JsonTreeWriter(Writer& writer, StringOutput& output, const BindingRegistry* registry,
                 std::size_t longText)
      : writer_(writer), output_(output), registry_(registry), longText_(longText) {}

  void write(const BindingProperty& value) {
    switch (value.kind()) {
      case BindingPropertyKind::kBool:
        writer_.Bool(value.getBool());
        return;
      case BindingPropertyKind::kSigned:
        writeSigned(value.getSigned());
        return;
      case BindingPropertyKind::kUnsigned:
        writeUnsigned(value.getUnsigned());
        return;
      case BindingPropertyKind::kFloat:
        writeFloat(value.getFloat());
        return;
      case BindingPropertyKind::kString:
        writeString(value.getString());
        return;
      case BindingPropertyKind::kBlob: {
        const std::span<const std::uint8_t> bytes = value.getBlob();
        const String text = base64Encode(bytes.data(), bytes.size());
        writeString(text);
        return;
      }
      case BindingPropertyKind::kEnum:
        writeEnum(value.getEnum());
        return;
      case BindingPropertyKind::kCollection:
        writer_.StartArray();
        for (const BindingProperty& element : value.elements()) write(element);
        writer_.EndArray();
        return;
      case BindingPropertyKind::kStructure:
        writer_.StartObject();
        for (const BindingMember member : value.members()) {
          writeString(member.key);
          write(member.value);
        }
        writer_.EndObject();
        return;
      default:
        writer_.Null();
        return;
    }
  }

 private:
  // The 32-bit forms write the same digits with a cheaper conversion.
  void writeSigned(std::int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX) {
      writer_.Int(static_cast<int>(value));
    } else {
      writer_.Int64(value);
    }
  }
  void writeUnsigned(std::uint64_t value) {
    if (value <= UINT32_MAX) {
      writer_.Uint(static_cast<unsigned>(value));
    } else {
      writer_.Uint64(value);
    }
  }
  void writeFloat(double value) {
    // rapidjson refuses NaN and infinities after it has written the separator, which would
    // leave "[1,]" behind; null keeps the text valid JSON.
    if (std::isfinite(value)) {
      writer_.Double(value);
    } else {
      writer_.Null();
    }
  }
  // A member's key or a string value: rapidjson tells them apart by their place.
  void writeString(std::string_view value) {
    if (value.size() <= longText_) {
      writer_.String(value.data(), jsonLength(value.size()));
      return;
    }
    // The writer puts the separator and indentation in front of an empty raw text; the text
    // itself follows straight after.
    writer_.RawValue("", 0, rapidjson::kStringType);
    writeQuoted(output_, value);
  }
  void writeEnum(BindingEnumValue value) {
    const std::optional<std::string_view> name =
        serialization_internal::enumeratorName(registry_, value.typeId, value.value);
    if (name) {
      writeString(*name);
    } else {
      writer_.Int64(value.value);
    }
  }

  Writer& writer_;
  StringOutput& output_;
  const BindingRegistry* registry_;
  std::size_t longText_;
};

constexpr std::size_t kInitialRoom = 4096;

String replaceLineFeeds(std::string_view text, std::string_view lineBreak) {
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

namespace serialization_internal {

String writeJsonWithLongTexts(const BindingProperty& value, const BindingRegistry* registry,
                              const char* lineBreak, std::size_t longText) {
  if (value.isEmpty()) return String();
  HookedRapidjsonAllocator allocator;
  // Room for the usual body at once: growing by half at a time from a few hundred bytes would
  // take seven reallocations on the way to 4 KB, and on the 32-bit Windows target each of them
  // costs more than writing a kilobyte.
  StringOutput output(kInitialRoom);
  if (lineBreak != nullptr && *lineBreak != '\0') {
    PrettyWriter writer(output, &allocator);
    writer.SetIndent(' ', 4);
    JsonTreeWriter<PrettyWriter>(writer, output, registry, longText).write(value);
    if (std::strcmp(lineBreak, "\n") != 0) return replaceLineFeeds(output.written(), lineBreak);
  } else {
    CompactWriter writer(output, &allocator);
    JsonTreeWriter<CompactWriter>(writer, output, registry, longText).write(value);
  }
  return output.take();
}

}  // namespace serialization_internal

String writeJson(const BindingProperty& value, const BindingRegistry* registry,
                 const char* lineBreak) {
  return serialization_internal::writeJsonWithLongTexts(value, registry, lineBreak,
                                                        serialization_internal::kJsonLongText);
}

}  // namespace tev
