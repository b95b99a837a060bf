#include "serialization/internal/yaml_scalar.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "logging/format_message.h"

namespace tev::serialization_internal {
namespace {

constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";
constexpr std::string_view kIntTag = "tag:yaml.org,2002:int";
constexpr std::string_view kFloatTag = "tag:yaml.org,2002:float";
constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";
constexpr std::string_view kPath = "yaml";
// The first doubles past the 64-bit integer ranges.
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr double kTwoTo63 = 9223372036854775808.0;

template <std::size_t N>
bool isOneOf(std::string_view text, const std::string_view (&set)[N]) {
  for (std::string_view entry : set) {
    if (text == entry) return true;
  }
  return false;
}

String incorrectFormat(std::string_view text, std::string_view typeName) {
  return formatMessage("Value %1 for '%2' of type %3 is in an incorrect format", toString(text),
                       toString(kPath), toString(typeName));
}

String outOfRange(std::string_view text, std::string_view typeName) {
  return formatMessage("Value %1 for '%2' of type %3 is out of range", toString(text),
                       toString(kPath), toString(typeName));
}

// strtoull skips white space and accepts a sign, negating what follows; a minus sign there
// makes the text negative, whatever strtoull returns for it.
bool hasMinusSign(std::string_view text) {
  for (char c : text) {
    if (c == '-') return true;
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') return false;
  }
  return false;
}

// The three conversions of tagged scalars. `text` is NUL-terminated by the caller's contract;
// a NUL inside it leaves characters over, so such a text never passes for the number before it.
bool convertSigned(std::string_view text, BindingProperty& target, String& error) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.data(), &end, 0);
  if (end == text.data() || end != text.data() + text.size()) {
    error = incorrectFormat(text, "int64_t");
    return false;
  }
  if (errno == ERANGE) {
    error = outOfRange(text, "int64_t");
    return false;
  }
  target.setSigned(value);
  return true;
}

bool convertUnsigned(std::string_view text, BindingProperty& target, String& error) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.data(), &end, 0);
  if (end == text.data() || end != text.data() + text.size()) {
    error = incorrectFormat(text, "uint64_t");
    return false;
  }
  if (errno == ERANGE || hasMinusSign(text)) {
    error = outOfRange(text, "uint64_t");
    return false;
  }
  target.setUnsigned(value);
  return true;
}

bool convertFloat(std::string_view text, BindingProperty& target, String& error) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.data(), &end);
  if (end == text.data() || end != text.data() + text.size()) {
    error = incorrectFormat(text, "double");
    return false;
  }
  // An underflow also reports ERANGE but yields a usable tiny number; overflow yields infinity,
  // which the range test below refuses.
  const double maximum = std::numeric_limits<double>::max();
  if (!(value >= -maximum && value <= maximum)) {
    error = outOfRange(text, "double");
    return false;
  }
  target.setFloat(value);
  return true;
}

// Whether strtod can read anything from a text that starts with `c`: white space, a sign, a
// digit, a point, or the first letter of "inf", "infinity" or "nan". Most strings are refused
// here without a call.
bool mayStartNumber(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case '+':
    case '-':
    case '.':
    case 'i':
    case 'I':
    case 'n':
    case 'N':
      return true;
    default:
      return c >= '0' && c <= '9';
  }
}

// The whole text as a number by std::from_chars, which rounds exactly as strtod does but takes
// no locale and no white space. False when it cannot read all of the text, or reports a range
// error where strtod yields infinity or a rounded-off tiny value: strtod decides those cases.
bool readDecimal(std::string_view text, double& value) {
  const char* end = text.data() + text.size();
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  return read.ec == std::errc() && read.ptr == end;
}

// An untagged plain or block scalar that strtod reads completely is a number: integral values
// become unsigned (zero and negative zero included) or signed, the rest float. Integral values
// outside the 64-bit ranges, negative infinity and NaN stay float, since converting them to an
// integer would be undefined.
bool typePlainNumber(std::string_view text, BindingProperty& target) {
  if (text.empty() || !mayStartNumber(text.front())) return false;
  double value;
  if (!readDecimal(text, value)) {
    char* end = nullptr;
    value = std::strtod(text.data(), &end);
    if (end != text.data() + text.size()) return false;
  }
  if (value == std::numeric_limits<double>::infinity()) return false;
  if (std::isfinite(value) && value == std::trunc(value)) {
    if (value >= 0.0 && value < kTwoTo64) {
      target.setUnsigned(static_cast<std::uint64_t>(value));
      return true;
    }
    if (value < 0.0 && value >= -kTwoTo63) {
      target.setSigned(static_cast<std::int64_t>(value));
      return true;
    }
  }
  target.setFloat(value);
  return true;
}

}  // namespace

bool isYamlNull(std::string_view text) {
  static constexpr std::string_view kSet[] = {"", "~", "null", "Null", "NULL"};
  return isOneOf(text, kSet);
}

bool isYamlTrue(std::string_view text) {
  static constexpr std::string_view kSet[] = {"true", "True", "TRUE", "y",  "Y", "yes",
                                              "Yes",  "YES",  "on",   "On", "ON"};
  return isOneOf(text, kSet);
}

bool isYamlFalse(std::string_view text) {
  static constexpr std::string_view kSet[] = {"false", "False", "FALSE", "n",   "N",  "no",
                                              "No",    "NO",    "off",   "Off", "OFF"};
  return isOneOf(text, kSet);
}

bool typeYamlScalar(std::string_view text, const char* tag, YamlScalarStyle style,
                    BindingProperty& target, String& error) {
  if (tag != nullptr) {
    const std::string_view tagText(tag);
    if (tagText == kStrTag) {
      target.setString(text);
      return true;
    }
    if (tagText == kIntTag) {
      if (!text.empty() && text.front() == '-') return convertSigned(text, target, error);
      return convertUnsigned(text, target, error);
    }
    if (tagText == kFloatTag) return convertFloat(text, target, error);
    if (tagText == kBoolTag) {
      if (isYamlTrue(text)) {
        target.setBool(true);
      } else if (isYamlFalse(text)) {
        target.setBool(false);
      } else {
        target.reset();
      }
      return true;
    }
    error = formatMessage("Unsupported YAML tag '%1'.", toString(tagText));
    return false;
  }
  if (style == YamlScalarStyle::kQuoted) {
    target.setString(text);
    return true;
  }
  if (isYamlNull(text)) {
    target.reset();
    return true;
  }
  if (typePlainNumber(text, target)) return true;
  if (isYamlTrue(text)) {
    target.setBool(true);
  } else if (isYamlFalse(text)) {
    target.setBool(false);
  } else {
    target.setString(text);
  }
  return true;
}

}  // namespace tev::serialization_internal
