#include "logging/named_template.h"

#include <cstring>

#include "logging/internal/printf_placeholder.h"

namespace tev {

FieldValue FieldValue::ofBool(bool value) {
  FieldValue v;
  v.kind = kBool;
  v.boolean = value;
  return v;
}
FieldValue FieldValue::ofSigned(std::int64_t value) {
  FieldValue v;
  v.kind = kSigned;
  v.integer = static_cast<std::uint64_t>(value);
  return v;
}
FieldValue FieldValue::ofUnsigned(std::uint64_t value) {
  FieldValue v;
  v.kind = kUnsigned;
  v.integer = value;
  return v;
}
FieldValue FieldValue::ofDouble(double value) {
  FieldValue v;
  v.kind = kDouble;
  v.number = value;
  return v;
}
FieldValue FieldValue::ofText(const char* text) { return ofText(String(text ? text : "")); }
FieldValue FieldValue::ofText(String text) {
  FieldValue v;
  v.kind = kText;
  v.text = std::move(text);
  return v;
}

bool FieldValue::isEmptyValue() const {
  switch (kind) {
    case kBool:
      return !boolean;
    case kSigned:
    case kUnsigned:
      return integer == 0;
    case kDouble:
      return number == 0.0;
    case kText:
      return text.empty();
    case kEmpty:
      break;
  }
  return true;
}

namespace {

bool hasTypedSuffix(const String& name) {
  const std::size_t underscore = name.rfind('_');
  if (underscore == String::npos) return false;
  static const char* const kSuffixes[] = {"_bool", "_int",  "_long", "_float",
                                          "_str",  "_time", "_ip"};
  const std::string_view tail(name.data() + underscore, name.size() - underscore);
  for (const char* suffix : kSuffixes) {
    if (tail == suffix) return true;
  }
  return false;
}

const char* suffixFor(FieldValue::Kind kind) {
  switch (kind) {
    case FieldValue::kBool:
      return "_bool";
    case FieldValue::kSigned:
    case FieldValue::kUnsigned:
      return "_int";
    case FieldValue::kDouble:
      return "_float";
    case FieldValue::kText:
      return "_str";
    case FieldValue::kEmpty:
      break;
  }
  return "";
}

void trimTrailingSpace(String& text) {
  while (!text.empty() && std::strchr(" \t\r\n\f\v", text.back()) != nullptr) text.pop_back();
}

struct Placeholder {
  String name;
  String alternative;
  String format;
  bool suffix = false;
  bool hidden = false;
  bool hasAlternative = false;
  bool hasFormat = false;
};

void emit(const Placeholder& p, std::size_t number, const FieldValue* values, std::size_t count,
          String& out, FieldMap& fields) {
  if (number > count) return;
  const FieldValue& value = values[number - 1];
  String name = p.name;
  if (p.suffix && !hasTypedSuffix(name)) name += suffixFor(value.kind);
  if (p.hasAlternative && value.isEmptyValue()) {
    out += p.alternative;
    return;
  }
  if (!name.empty()) fields.insert_or_assign(name, value);
  if (p.hidden) {
    trimTrailingSpace(out);
    return;
  }
  char digits[24];
  std::snprintf(digits, sizeof digits, "%%%u", static_cast<unsigned>(number));
  out += digits;
  if (p.hasFormat && !p.format.empty()) {
    out += '$';
    out += p.format;
  }
}

}  // namespace

void compileNamedTemplate(const char* templateText, const FieldValue* values, std::size_t count,
                          String& positional, FieldMap& fields) {
  fields.clear();
  fields.reserve(count);
  positional.clear();
  std::size_t number = 1;
  const char* p = templateText ? templateText : "";
  while (*p != '\0') {
    const char c = *p;
    if (c == '{' && p[1] == '{') {
      positional += '{';
      p += 2;
    } else if (c == '}') {
      positional += '}';
      p += (p[1] == '}') ? 2 : 1;
    } else if (c == '%' && p[1] == '%') {
      positional += "%%";
      p += 2;
    } else if (c == '%') {
      format_internal::PrintfSpec spec;
      const char* end = format_internal::parsePrintfSpec(p + 1, count, spec);
      const std::size_t own = spec.position != 0 ? spec.position : number;
      if (own <= count) positional.append(p, static_cast<std::size_t>(end - p));
      number = own + 1;
      p = end;
    } else if (c == '{') {
      Placeholder placeholder;
      ++p;
      if (*p == '#') {
        placeholder.suffix = true;
        ++p;
      }
      String* collecting = &placeholder.name;
      bool closed = false;
      while (*p != '\0') {
        const char d = *p++;
        if (d == '}') {
          closed = true;
          break;
        }
        if (d == '!') {
          placeholder.hidden = true;
        } else if (d == '?' && !placeholder.hasFormat) {
          placeholder.hasAlternative = true;
          collecting = &placeholder.alternative;
        } else if (d == ':') {
          placeholder.hasFormat = true;
          collecting = &placeholder.format;
        } else if (d == '\\') {
          if (*p != '\0') *collecting += *p++;
        } else if (d == '{') {
          // ignored inside a placeholder
        } else {
          *collecting += d;
        }
      }
      if (!closed) break;  // an unterminated placeholder writes nothing
      emit(placeholder, number, values, count, positional, fields);
      ++number;
    } else {
      positional += c;
      ++p;
    }
  }
}

}  // namespace tev
