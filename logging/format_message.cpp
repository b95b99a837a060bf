#include "logging/format_message.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "logging/internal/printf_placeholder.h"
#include "platform/bounded_format.h"

namespace tev {
namespace format_internal {
namespace {

// The frame goes by pointer: va_start after a reference parameter is undefined behaviour.
int applyChunk(FormatCall* call, ...) {
  std::va_list args;
  va_start(args, call);
  const int result = platform::boundedFormat(call->output, call->room, call->spec, args);
  va_end(args);
  return result;
}

// Passes the '*' values ahead of the argument, width before precision, as printf expects.
template <typename V>
int apply(FormatCall& call, V value) {
  switch (call.starCount) {
    case 0:
      return applyChunk(&call, value);
    case 1:
      return applyChunk(&call, call.stars[0], value);
    default:
      return applyChunk(&call, call.stars[0], call.stars[1], value);
  }
}

bool isLengthLetter(char c) { return c != '\0' && std::strchr("hljztLq", c) != nullptr; }

void appendSpec(FormatCall& call, const char* text) {
  for (; *text != '\0' && call.specLength + 1 < sizeof call.spec; ++text) {
    call.spec[call.specLength++] = *text;
  }
  call.spec[call.specLength] = '\0';
}

// Completes the conversion: a bare placeholder gets the kind's length modifier and default
// conversion; otherwise the conversion is kept when the kind accepts it, else replaced by the
// default. Returns false for "%n", which writes nothing.
bool finalize(FormatCall& call, const char* accepted, const char* lengthModifier) {
  if (call.specLength == 1) {
    appendSpec(call, lengthModifier);
    const char conversion[2] = {accepted[0], '\0'};
    appendSpec(call, conversion);
    return true;
  }
  char& last = call.spec[call.specLength - 1];
  if (last == 'n') {
    call.specLength = 0;
    call.spec[0] = '\0';
    return false;
  }
  if (std::strchr(accepted, last) == nullptr) last = accepted[0];
  return true;
}

// Removes the length modifier before the conversion and returns what it was; the caller puts
// back the one that matches the value it passes, so the output is the same on every target.
std::string takeLengthModifier(FormatCall& call) {
  std::size_t end = call.specLength - 1;  // the conversion character
  std::size_t begin = end;
  while (begin > 1 && isLengthLetter(call.spec[begin - 1])) --begin;
  std::string modifier(call.spec + begin, call.spec + end);
  std::memmove(call.spec + begin, call.spec + end, call.specLength - end + 1);
  call.specLength -= end - begin;
  return modifier;
}

void insertLengthModifier(FormatCall& call, const char* modifier) {
  const std::size_t extra = std::strlen(modifier);
  if (extra == 0 || call.specLength + extra >= sizeof call.spec) return;
  char* conversion = call.spec + call.specLength - 1;
  std::memmove(conversion + extra, conversion, 2);
  std::memcpy(conversion, modifier, extra);
  call.specLength += extra;
}

// Integers: "ll" or "j" (or a bare placeholder of a 64-bit kind) print all 64 bits; "h" and
// "hh" narrow as printf does; anything else prints the low 32 bits, as on the 32-bit host.
template <typename T>
int renderInteger(FormatCall& call, const char* accepted, bool wide) {
  const T value = *static_cast<const T*>(call.argument);
  if (!finalize(call, accepted, wide ? "ll" : "")) return 0;
  const std::string modifier = takeLengthModifier(call);
  const bool asWide = modifier == "ll" || modifier == "j" || modifier == "L" || modifier == "q";
  if (asWide) {
    insertLengthModifier(call, "ll");
    if constexpr (std::is_signed_v<T>) {
      return apply(call, static_cast<long long>(value));
    } else {
      return apply(call, static_cast<unsigned long long>(value));
    }
  }
  if (modifier == "h" || modifier == "hh") insertLengthModifier(call, modifier.c_str());
  if constexpr (std::is_signed_v<T>) {
    return apply(call, static_cast<std::int32_t>(value));
  } else {
    return apply(call, static_cast<std::uint32_t>(value));
  }
}

int renderText(FormatCall& call, const char* text) {
  if (!finalize(call, "s", "")) return 0;
  takeLengthModifier(call);
  return apply(call, text);
}

template <typename T>
std::int32_t integerToInt(const void* argument) {
  return static_cast<std::int32_t>(*static_cast<const T*>(argument));
}

std::int32_t notAnInt(const void*) { return 0; }

}  // namespace

const FormatArgKind kSigned32{
    [](FormatCall& c) { return renderInteger<std::int32_t>(c, "dciouxX", false); },
    &integerToInt<std::int32_t>, true};
const FormatArgKind kUnsigned32{
    [](FormatCall& c) { return renderInteger<std::uint32_t>(c, "ucdioxX", false); },
    &integerToInt<std::uint32_t>, true};
const FormatArgKind kSigned64{
    [](FormatCall& c) { return renderInteger<std::int64_t>(c, "dciouxX", true); },
    &integerToInt<std::int64_t>, true};
const FormatArgKind kUnsigned64{
    [](FormatCall& c) { return renderInteger<std::uint64_t>(c, "ucdioxX", true); },
    &integerToInt<std::uint64_t>, true};
const FormatArgKind kCharacter{
    [](FormatCall& c) {
      const int code = static_cast<unsigned char>(*static_cast<const char*>(c.argument));
      if (!finalize(c, "cdiouxX", "")) return 0;
      takeLengthModifier(c);
      return apply(c, code);
    },
    [](const void* a) -> std::int32_t {
      return static_cast<unsigned char>(*static_cast<const char*>(a));
    },
    true};
const FormatArgKind kDouble{[](FormatCall& c) {
                              const double value = *static_cast<const double*>(c.argument);
                              if (!finalize(c, "gaefGAEF", "")) return 0;
                              takeLengthModifier(c);
                              return apply(c, value);
                            },
                            &notAnInt, false};
const FormatArgKind kFloat{[](FormatCall& c) {
                             const double value = *static_cast<const float*>(c.argument);
                             if (!finalize(c, "gaefGAEF", "")) return 0;
                             takeLengthModifier(c);
                             return apply(c, value);
                           },
                           &notAnInt, false};
const FormatArgKind kTextPointer{[](FormatCall& c) {
                                   const char* text = *static_cast<const char* const*>(c.argument);
                                   return renderText(c, text ? text : "(null)");
                                 },
                                 &notAnInt, false};
const FormatArgKind kTextArray{
    [](FormatCall& c) { return renderText(c, static_cast<const char*>(c.argument)); }, &notAnInt,
    false};
const FormatArgKind kOwnedString{
    [](FormatCall& c) { return renderText(c, static_cast<const String*>(c.argument)->c_str()); },
    &notAnInt, false};
const FormatArgKind kStdString{[](FormatCall& c) {
                                 return renderText(
                                     c, static_cast<const std::string*>(c.argument)->c_str());
                               },
                               &notAnInt, false};
const FormatArgKind kVersion{[](FormatCall& c) {
                               const String text =
                                   versionText(*static_cast<const PluginApiVersion*>(c.argument));
                               return renderText(c, text.c_str());
                             },
                             &notAnInt, false};
const FormatArgKind kStringPair{[](FormatCall& c) {
                                  const auto& pair =
                                      *static_cast<const std::pair<String, String>*>(c.argument);
                                  String text = pair.first;
                                  text += ':';
                                  text += pair.second;
                                  return renderText(c, text.c_str());
                                },
                                &notAnInt, false};

}  // namespace format_internal

std::size_t formatInto(char* buffer, std::size_t size, const char* templateText,
                       const FormatArgKind* const* kinds, const void* const* arguments,
                       std::size_t count) {
  if (buffer == nullptr || size == 0) return 0;
  std::size_t position = 0;
  std::size_t sequential = 1;
  const char* cursor = templateText ? templateText : "";
  while (*cursor != '\0' && position < size - 1) {
    if (*cursor != '%') {
      buffer[position++] = *cursor++;
      continue;
    }
    if (cursor[1] == '%') {
      buffer[position++] = '%';
      cursor += 2;
      continue;
    }
    format_internal::PrintfSpec spec;
    cursor = format_internal::parsePrintfSpec(cursor + 1, count, spec);
    if (spec.overflow) break;

    std::size_t starArgument[2] = {0, 0};
    for (int slot = 0; slot < 2; ++slot) {
      if (spec.hasStar[slot]) {
        starArgument[slot] = spec.starIndex[slot] != 0 ? spec.starIndex[slot] : sequential++;
      }
    }
    const std::size_t argument = spec.position != 0 ? spec.position : sequential++;
    if (argument > count) break;

    FormatCall call{};
    bool starsUsable = true;
    for (int slot : {1, 0}) {  // precision is checked first, then the width
      if (!spec.hasStar[slot]) continue;
      const std::size_t index = starArgument[slot];
      if (index == 0 || index > count || !kinds[index - 1]->usableAsInt) starsUsable = false;
    }
    if (!starsUsable) break;
    for (int slot : {0, 1}) {
      if (spec.hasStar[slot]) {
        const std::size_t index = starArgument[slot];
        call.stars[call.starCount++] = kinds[index - 1]->toInt(arguments[index - 1]);
      }
    }
    call.output = buffer + position;
    call.written = position;
    call.room = size - position;
    std::memcpy(call.spec, spec.text, spec.length + 1);
    call.specLength = spec.length;
    call.argument = arguments[argument - 1];
    const int result = kinds[argument - 1]->render(call);
    if (result == platform::kBoundedFormatTruncated) {
      position = size - 1;  // truncated: the whole room is used
      break;
    }
    // Any other negative result is a failure of the C library's formatter: its output is not
    // text, so the result ends with what was written before this placeholder.
    if (result < 0) break;
    position += static_cast<std::size_t>(result);
  }
  if (position > size - 1) position = size - 1;
  buffer[position] = '\0';
  return position;
}

}  // namespace tev
