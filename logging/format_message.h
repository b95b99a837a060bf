// The positional message formatter: a template such as "Unknown argument '%1' for '%2'." filled
// from typed arguments, where each placeholder may also carry a printf conversion ("%2$-8s").
// Formatting never fails to the caller: a malformed placeholder ends the output there. Texts
// are at most kMessageLimit characters; the result is an owned string on the allocation hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "logging/plugin_api_version.h"
#include "platform/allocator.h"
#include "platform/bounded_format.h"

namespace tev {

// Every public formatter writes into a buffer of this size, so texts hold at most 4095 chars.
inline constexpr std::size_t kMessageBufferSize = 4096;
inline constexpr std::size_t kMessageLimit = kMessageBufferSize - 1;

// The call frame handed to FormatArgKind::render for one placeholder.
struct FormatCall {
  char* output;         // where the placeholder's text goes
  std::size_t written;  // characters already written before it
  std::size_t room;     // bytes left up to the end of the buffer
  char spec[64];        // the conversion built so far, '%' included, at most 59 chars
  std::size_t specLength;
  const void* argument;   // the argument, as the kind knows its type
  std::int32_t stars[2];  // values of '*' width and precision, in printf's order
  int starCount;
};

// How one argument type formats: `render` finalises the conversion and writes the text,
// returning the bounded formatter's result (the length written, kBoundedFormatTruncated when the
// room is full, kBoundedFormatFailed when nothing it wrote counts); `toInt` reads the argument as
// a '*' width or precision, meaningful only where `usableAsInt`.
struct FormatArgKind {
  int (*render)(FormatCall& call);
  std::int32_t (*toInt)(const void* argument);
  bool usableAsInt;
};

// The formatter's engine. Writes at most size - 1 characters and always terminates the buffer
// (size must be at least 1); returns the number of characters written.
std::size_t formatInto(char* buffer, std::size_t size, const char* templateText,
                       const FormatArgKind* const* kinds, const void* const* arguments,
                       std::size_t count);

namespace format_internal {

extern const FormatArgKind kSigned32;
extern const FormatArgKind kUnsigned32;
extern const FormatArgKind kSigned64;
extern const FormatArgKind kUnsigned64;
extern const FormatArgKind kCharacter;
extern const FormatArgKind kDouble;
extern const FormatArgKind kFloat;
extern const FormatArgKind kTextPointer;  // argument points to a const char*
extern const FormatArgKind kTextArray;    // argument points to the characters themselves
extern const FormatArgKind kOwnedString;
extern const FormatArgKind kStdString;
extern const FormatArgKind kVersion;
extern const FormatArgKind kStringPair;

template <typename T>
inline constexpr bool kAlwaysFalse = false;

// bool, 8- and 16-bit integers (other than char) and enumerations narrower than 32 bits: their
// kinds read 32 bits, so formatMessage widens them to a 32-bit copy first.
template <typename T>
constexpr bool isNarrowInteger() {
  if constexpr (std::is_same_v<T, char>) {
    return false;
  } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
    return sizeof(T) < 4;
  } else {
    return false;
  }
}

template <typename T>
constexpr bool isSignedInteger() {
  if constexpr (std::is_enum_v<T>) {
    return std::is_signed_v<std::underlying_type_t<T>>;
  } else {
    return std::is_signed_v<T>;
  }
}

// One argument as the formatter reads it: by address, or a widened copy for a narrow integer.
template <typename T, bool = isNarrowInteger<std::remove_cv_t<T>>()>
class FormatOperand {
 public:
  using Kind = T;
  explicit FormatOperand(const T& value) : address_(&value) {}
  const void* address() const { return address_; }

 private:
  const void* address_;
};

template <typename T>
class FormatOperand<T, true> {
 public:
  using Kind =
      std::conditional_t<isSignedInteger<std::remove_cv_t<T>>(), std::int32_t, std::uint32_t>;
  explicit FormatOperand(const T& value) : value_(static_cast<Kind>(value)) {}
  const void* address() const { return &value_; }

 private:
  Kind value_;
};

}  // namespace format_internal

// The kind of a C++ argument type. Integers of 32 and 64 bits map by size and signedness, so
// `long` formats alike on both targets; `char` is the character kind. Narrower integers have no
// kind of their own: formatMessage widens them first.
template <typename T>
const FormatArgKind& formatArgKindOf() {
  using U = std::remove_cv_t<T>;
  using namespace format_internal;
  static_assert(!isNarrowInteger<U>(), "narrow integers are widened to 32 bits first");
  if constexpr (std::is_same_v<U, char>) {
    return kCharacter;
  } else if constexpr (std::is_integral_v<U>) {
    if constexpr (sizeof(U) > 4) {
      return std::is_signed_v<U> ? kSigned64 : kUnsigned64;
    } else {
      return std::is_signed_v<U> ? kSigned32 : kUnsigned32;
    }
  } else if constexpr (std::is_enum_v<U>) {
    static_assert(sizeof(U) == 4, "enumerations format as 32-bit integers");
    return std::is_signed_v<std::underlying_type_t<U>> ? kSigned32 : kUnsigned32;
  } else if constexpr (std::is_same_v<U, double>) {
    return kDouble;
  } else if constexpr (std::is_same_v<U, float>) {
    return kFloat;
  } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    return kTextPointer;
  } else if constexpr (std::is_array_v<U> &&
                       std::is_same_v<std::remove_cv_t<std::remove_extent_t<U>>, char>) {
    return kTextArray;
  } else if constexpr (std::is_same_v<U, String>) {
    return kOwnedString;
  } else if constexpr (std::is_same_v<U, std::string>) {
    return kStdString;
  } else if constexpr (std::is_same_v<U, PluginApiVersion>) {
    return kVersion;
  } else if constexpr (std::is_same_v<U, std::pair<String, String>>) {
    return kStringPair;
  } else {
    static_assert(kAlwaysFalse<U>, "no message format for this argument type");
  }
}

namespace format_internal {

template <typename... Operands>
String formatOperands(const char* templateText, const Operands&... operands) {
  char buffer[kMessageBufferSize];
  const FormatArgKind* kinds[] = {&formatArgKindOf<typename Operands::Kind>()...};
  const void* arguments[] = {operands.address()...};
  const std::size_t length =
      formatInto(buffer, sizeof buffer, templateText, kinds, arguments, sizeof...(Operands));
  return String(buffer, length);
}

}  // namespace format_internal

// Fills `templateText` from the arguments (each taken by reference; narrow integers by value)
// into an owned string.
template <typename... Args>
String formatMessage(const char* templateText, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    char buffer[kMessageBufferSize];
    const std::size_t length = formatInto(buffer, sizeof buffer, templateText, nullptr, nullptr, 0);
    return String(buffer, length);
  } else {
    return format_internal::formatOperands(templateText,
                                           format_internal::FormatOperand<Args>(args)...);
  }
}

}  // namespace tev
