#include "router/text_decoding.h"

#include <cstdint>
#include <cstring>

#include "binding/binding_function_descriptor.h"
#include "logging/format_message.h"
#include "serialization/json_reader.h"
#include "serialization/msgpack_reader.h"
#include "serialization/yaml_reader.h"

namespace tev {

namespace {

enum class TextFormat { kText, kMsgPack, kJson, kYaml, kBlob };

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

TextFormat formatByContentType(std::string_view contentType) {
  if (contentTypeIs(contentType, "application/x-msgpack")) return TextFormat::kMsgPack;
  if (contentTypeIs(contentType, "application/json")) return TextFormat::kJson;
  if (contentTypeIs(contentType, "text/x-yaml")) return TextFormat::kYaml;
  if (contentTypeIs(contentType, "application/octet-stream")) return TextFormat::kBlob;
  return TextFormat::kText;
}

TextFormat formatBySniffing(std::string_view value) {
  if (value.empty()) return TextFormat::kText;
  const auto first = static_cast<std::uint8_t>(value.front());
  if ((first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF)) {
    return TextFormat::kMsgPack;
  }
  if (looksLikeJson(value)) return TextFormat::kJson;
  if (looksLikeYaml(value)) return TextFormat::kYaml;
  return TextFormat::kText;
}

// The JSON and YAML readers take text; a body is bytes, and a NUL among them ends the text
// rather than letting a reader look for one past the body. The search runs over whole bodies,
// so it goes a register's width of bytes at a time: the runtime's memchr does not everywhere
// (the 32-bit Windows one, as Wine provides it, goes byte by byte). A word holds a NUL exactly
// when subtracting one from each byte borrows into a high bit that the byte itself lacked.
std::size_t textLength(const void* body, std::size_t length) {
  using Word = std::uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;  // 0x01 in every byte
  constexpr Word kHighBits = kOnes << 7;   // 0x80 in every byte
  const auto* bytes = static_cast<const unsigned char*>(body);
  std::size_t i = 0;
  // Byte by byte up to a word boundary, then whole aligned words that lie within the length,
  // two at a time while there are.
  while (i < length && reinterpret_cast<std::uintptr_t>(bytes + i) % sizeof(Word) != 0) {
    if (bytes[i] == 0) return i;
    ++i;
  }
  const auto flags = [](Word word) { return (word - kOnes) & ~word & kHighBits; };
  for (; length - i >= 2 * sizeof(Word); i += 2 * sizeof(Word)) {
    Word pair[2];
    std::memcpy(pair, bytes + i, sizeof pair);
    if ((flags(pair[0]) | flags(pair[1])) != 0) break;  // the NUL is in one of these
  }
  for (; length - i >= sizeof(Word); i += sizeof(Word)) {
    Word word;
    std::memcpy(&word, bytes + i, sizeof word);
    if (flags(word) != 0) break;  // the NUL is in this word
  }
  for (; i < length; ++i) {
    if (bytes[i] == 0) return i;
  }
  return length;
}

}  // namespace

bool contentTypeIs(std::string_view contentType, std::string_view name) {
  if (contentType.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (lowerAscii(contentType[i]) != lowerAscii(name[i])) return false;
  }
  return true;
}

bool decodeText(BindingResult& result, BindingProperty& target,
                const BindingFunctionDescriptor& function, std::string_view key,
                std::string_view value, std::string_view contentType, bool sniff) {
  if (!result.ok()) return false;
  TextFormat format = TextFormat::kText;
  if (!contentType.empty()) {
    format = formatByContentType(contentType);
  } else if (sniff) {
    format = formatBySniffing(value);
  }

  const char* codec = nullptr;
  BindingResult decoded;
  switch (format) {
    case TextFormat::kText:
      target.setString(value);
      return true;
    case TextFormat::kBlob:
      target.setBlob(value.data(), value.size());
      return true;
    case TextFormat::kMsgPack:
      codec = "MessagePack";
      (void)decodeMsgPack(decoded, value.data(), value.size());
      break;
    case TextFormat::kJson:
      codec = "JSON";
      decoded = parseJson(value.data(), value.size());
      break;
    case TextFormat::kYaml:
      codec = "YAML";
      decoded = parseYaml(value.data(), value.size());
      break;
  }
  if (!decoded.ok()) {
    String message = formatMessage("Couldn't deserialize %1 value for parameter '%2' of '%3': %4",
                                   codec, toString(key), function.name, toString(decoded.error()));
    result.fail(message);
    return false;
  }
  target = std::move(decoded.value());
  return true;
}

bool decodeBody(BindingResult& result, BindingProperty& target, std::string_view contentType,
                const void* body, std::size_t length) {
  BindingResult decoded;
  if (contentTypeIs(contentType, "application/x-msgpack")) {
    const std::size_t used = decodeMsgPack(decoded, body, length);
    if (decoded.ok() && used < length) decoded.fail("Extra MessgePack data found in body");
  } else if (contentTypeIs(contentType, "application/json") ||
             contentTypeIs(contentType, "application/vnd.api+json")) {
    // The JSON reader ends the text at a NUL among the bytes itself, as it reads them: no search
    // through the whole body first.
    decoded = parseJson(static_cast<const char*>(body), length);
  } else if (contentTypeIs(contentType, "application/x-yaml")) {
    decoded = parseYaml(static_cast<const char*>(body), textLength(body, length));
  } else {
    decoded.fail("Unsupported body content type");
  }
  if (!decoded.ok()) {
    result.fail(decoded.error());
    return false;
  }
  target = std::move(decoded.value());
  return true;
}

}  // namespace tev
