#include "host/host_value_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tev::devhost {
namespace {

// Rejects documents nested too deeply before nlohmann's parser builds (and later recursively
// destroys and dumps) them. Brackets inside strings do not count.
bool depthWithinLimit(std::string_view text) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not valid UTF-8.
  static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void appendBase64(const std::uint8_t* bytes, std::size_t size, std::string& out) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.push_back('"');
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t chunk = (static_cast<std::uint32_t>(bytes[i]) << 16) |
                                (i + 1 < size ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0) |
                                (i + 2 < size ? bytes[i + 2] : 0);
    out.push_back(kAlphabet[(chunk >> 18) & 63]);
    out.push_back(kAlphabet[(chunk >> 12) & 63]);
    out.push_back(i + 1 < size ? kAlphabet[(chunk >> 6) & 63] : '=');
    out.push_back(i + 2 < size ? kAlphabet[chunk & 63] : '=');
  }
  out.push_back('"');
}

template <typename Number>
void appendNumber(Number number, std::string& out) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

void appendDouble(double number, std::string& out) {
  if (!std::isfinite(number)) {
    out.append("null");
    return;
  }
  const std::size_t start = out.size();
  appendNumber(number, out);
  // Keep a float a float for the reader: "1" would come back as an integer.
  if (out.find_first_of(".eE", start) == std::string::npos) out.append(".0");
}

bool writeValue(const HostValue& value, std::size_t depth, std::string& out, std::string& error) {
  switch (value.type) {
    case kHostValueEmpty:
      out.append("null");
      return true;
    case kHostValueBool:
      out.append(value.payload.boolean != 0 ? "true" : "false");
      return true;
    case kHostValueSigned:
      appendNumber(value.payload.signedValue, out);
      return true;
    case kHostValueUnsigned:
      appendNumber(value.payload.unsignedValue, out);
      return true;
    case kHostValueFloat:
      appendDouble(value.payload.floatValue, out);
      return true;
    case kHostValueString:
    case kHostValueOwnedString:
      if (value.payload.string.text == nullptr) {
        error = "string value without text";
        return false;
      }
      // The text is NUL-terminated; its length field is informative only.
      appendJsonString(value.payload.string.text, out);
      return true;
    case kHostValueBlob:
    case kHostValueOwnedBlob:
      if (value.payload.blob.bytes == nullptr && value.payload.blob.length != 0) {
        error = "blob value without bytes";
        return false;
      }
      appendBase64(value.payload.blob.bytes, value.payload.blob.length, out);
      return true;
    default:
      break;
  }
  if (value.type != kHostValueCollection && value.type != kHostValueStructure) {
    error = "unknown host value type " + std::to_string(value.type);
    return false;
  }
  if (depth >= kMaxJsonDepth) {
    error = "value nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return false;
  }
  if (value.type == kHostValueCollection) {
    const HostValue* elements = value.payload.collection.elements;
    const std::uint32_t count = value.payload.collection.count;
    if (elements == nullptr && count != 0) {
      error = "collection value without elements";
      return false;
    }
    out.push_back('[');
    for (std::uint32_t i = 0; i < count; ++i) {
      if (i != 0) out.push_back(',');
      if (!writeValue(elements[i], depth + 1, out, error)) return false;
    }
    out.push_back(']');
    return true;
  }
  const HostStructureEntry* entries = value.payload.structure.entries;
  const std::uint32_t count = value.payload.structure.count;
  if (entries == nullptr && count != 0) {
    error = "structure value without members";
    return false;
  }
  out.push_back('{');
  for (std::uint32_t i = 0; i < count; ++i) {
    // Entries are packed: copy the member out rather than point into it.
    const char* key = entries[i].key;
    const HostValue member = entries[i].value;
    if (key == nullptr) {
      error = "structure member without key";
      return false;
    }
    if (i != 0) out.push_back(',');
    appendJsonString(key, out);
    out.push_back(':');
    if (!writeValue(member, depth + 1, out, error)) return false;
  }
  out.push_back('}');
  return true;
}

}  // namespace

bool parseJson(std::string_view text, nlohmann::json& out, std::string& error) {
  if (!depthWithinLimit(text)) {
    error = "JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return false;
  }
  try {
    out = nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::exception& e) {
    error = e.what();
    return false;
  }
  return true;
}

std::string dumpJson(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* HostValueArena::keep(std::string_view text) {
  return texts_.emplace_back(text).c_str();
}

HostValue HostValueArena::build(const nlohmann::json& value) {
  HostValue out{};
  switch (value.type()) {
    case nlohmann::json::value_t::boolean:
      out.type = kHostValueBool;
      out.payload.boolean = value.get<bool>() ? 1 : 0;
      break;
    case nlohmann::json::value_t::number_integer:
      out.type = kHostValueSigned;
      out.payload.signedValue = value.get<std::int64_t>();
      break;
    case nlohmann::json::value_t::number_unsigned:
      out.type = kHostValueUnsigned;
      out.payload.unsignedValue = value.get<std::uint64_t>();
      break;
    case nlohmann::json::value_t::number_float:
      out.type = kHostValueFloat;
      out.payload.floatValue = value.get<double>();
      break;
    case nlohmann::json::value_t::string: {
      const std::string& text = value.get_ref<const std::string&>();
      out.type = kHostValueString;
      out.payload.string.text = keep(text);
      out.payload.string.length = static_cast<std::uint32_t>(text.size());
      break;
    }
    case nlohmann::json::value_t::array: {
      std::vector<HostValue>& elements = arrays_.emplace_back();
      elements.reserve(value.size());
      for (const nlohmann::json& element : value) elements.push_back(build(element));
      out.type = kHostValueCollection;
      out.payload.collection.elements = elements.data();
      out.payload.collection.count = static_cast<std::uint32_t>(elements.size());
      break;
    }
    case nlohmann::json::value_t::object: {
      std::vector<HostStructureEntry>& entries = entries_.emplace_back();
      entries.reserve(value.size());
      for (const auto& [key, member] : value.items()) {
        HostStructureEntry entry{};
        entry.key = keep(key);
        entry.value = build(member);
        entry.keyOwned = 0;
        entries.push_back(entry);
      }
      out.type = kHostValueStructure;
      out.payload.structure.entries = entries.data();
      out.payload.structure.count = static_cast<std::uint32_t>(entries.size());
      break;
    }
    default:  // null, binary and discarded values
      break;
  }
  return out;
}

bool writeHostValueJson(const HostValue& value, std::string& out, std::string& error) {
  return writeValue(value, 0, out, error);
}

void appendJsonString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
      ++i;
    } else if (c < 0x20) {
      switch (c) {
        case '\n':
          out.append("\\n");
          break;
        case '\r':
          out.append("\\r");
          break;
        case '\t':
          out.append("\\t");
          break;
        default:
          out.append("\\u00");
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
          break;
      }
      ++i;
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
    } else if (const std::size_t length = utf8Length(text, i); length != 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.append("\xEF\xBF\xBD");
      ++i;
    }
  }
  out.push_back('"');
}

}  // namespace tev::devhost
