#include "binding/internal/conversion_steps.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "binding/binding_registry.h"
#include "binding/binding_type_descriptor.h"
#include "binding/nesting_limit.h"
#include "logging/format_message.h"

namespace tev::binding_internal {

namespace {

using Kind = BindingPropertyKind;

constexpr const char* kRequired = "A value for '%1' is required.";
constexpr const char* kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
constexpr const char* kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr const char* kNumberFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr const char* kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr const char* kNumberInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr const char* kNoEnumeratorForString = "%1 is not a valid enumeration value for '%2'.";
constexpr const char* kNotAString =
    "Couldn't assign value to '%1' because the input is not a string.";
constexpr const char* kNotAnEnumerator = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr const char* kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr const char* kNotACollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
constexpr const char* kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
constexpr const char* kNotAStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr const char* kMissingField =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
    "field '%3'.";
constexpr const char* kUnregisteredNative =
    "Couldn't convert native value because it's an unregistered structure.";
constexpr const char* kNativeTooDeep =
    "Couldn't convert native value because it's nested deeper than %1 levels.";

// Three-way comparison as unsigned bytes, the shorter first on a common prefix. Field names and
// keys are short: comparing a register's width of bytes at a time beats a call to memcmp, and
// the rest by one word of 4, 2 and 1 bytes each beats a loop over them. A word read in
// big-endian order compares like its bytes one by one.
template <typename Word>
inline Word bigEndianWord(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) {
    if constexpr (sizeof(Word) == 8) {
      word = __builtin_bswap64(word);
    } else if constexpr (sizeof(Word) == 4) {
      word = __builtin_bswap32(word);
    } else if constexpr (sizeof(Word) == 2) {
      word = __builtin_bswap16(word);
    }
  }
  return word;
}

// Compares the next word of each text and steps past it; false with `order` set when they
// differ.
template <typename Word>
inline bool sameWord(const char*& a, const char*& b, int& order) {
  const Word x = bigEndianWord<Word>(a);
  const Word y = bigEndianWord<Word>(b);
  a += sizeof(Word);
  b += sizeof(Word);
  if (x == y) return true;
  order = x < y ? -1 : 1;
  return false;
}

inline int compareBytes(std::string_view a, std::string_view b) {
  // The widest word a general register holds: 8 bytes on x86-64, 4 on i686, where a 64-bit
  // word would take two loads, two swaps and a comparison in pairs.
  using Word = std::uintptr_t;
  std::size_t left = a.size() < b.size() ? a.size() : b.size();
  const char* x = a.data();
  const char* y = b.data();
  int order = 0;
  for (; left >= sizeof(Word); left -= sizeof(Word)) {
    if (!sameWord<Word>(x, y, order)) return order;
  }
  if constexpr (sizeof(Word) > 4) {
    if (left >= 4) {
      if (!sameWord<std::uint32_t>(x, y, order)) return order;
      left -= 4;
    }
  }
  if (left >= 2) {
    if (!sameWord<std::uint16_t>(x, y, order)) return order;
    left -= 2;
  }
  if (left != 0 && !sameWord<std::uint8_t>(x, y, order)) return order;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Records with at most this many fields match members without a heap allocation.
constexpr std::size_t kInlineFieldSlots = 32;

String text(std::string_view view) { return toString(view); }

// Out of line: formatting needs a 4 KiB buffer, which would otherwise enlarge the frames of the
// conversions that succeed.
template <typename... Args>
[[gnu::noinline]] bool fail(BindingResult& result, const char* message, const Args&... args) {
  result.fail(formatMessage(message, args...));
  return false;
}

template <typename... Args>
[[gnu::noinline]] bool setError(String& error, const char* message, const Args&... args) {
  error = formatMessage(message, args...);
  return false;
}

bool failRequired(BindingResult& result, std::string_view path) {
  return fail(result, kRequired, text(path));
}

bool failInvalidNumberInput(BindingResult& result, const BindingProperty& value,
                            std::string_view path, std::string_view typeName) {
  return fail(result, kNumberInvalidType, text(path), text(typeName), text(value.kindName()));
}

enum class ParseStatus { kParsed, kBadFormat, kOverflow };

// strtoll, strtoull and strtod want NUL-terminated input, and a text that holds a NUL byte must
// not pass for the number before it; parsing a copy covers both.
template <typename T, typename Parse>
ParseStatus parseWhole(std::string_view input, Parse parse, T& output) {
  const String copy = toString(input);
  const char* begin = copy.c_str();
  char* end = nullptr;
  errno = 0;
  output = parse(begin, &end);
  const int error = errno;
  if (end == begin || end != begin + copy.size()) return ParseStatus::kBadFormat;
  return error == ERANGE ? ParseStatus::kOverflow : ParseStatus::kParsed;
}

ParseStatus parseSigned(std::string_view input, std::int64_t& output) {
  long long parsed = 0;
  const ParseStatus status = parseWhole(
      input, [](const char* s, char** e) { return std::strtoll(s, e, 0); }, parsed);
  output = parsed;
  return status;
}

bool startsWithMinus(std::string_view input) {
  // strtoull skips leading white space and then accepts a sign, negating the result; a minus
  // sign behind spaces is as negative as one in front.
  for (const char c : input) {
    if (c == '-') return true;
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') return false;
  }
  return false;
}

// Whether a finite double lies within [minimum, maximum] so that converting it to the integer
// type is defined. 2^63 and 2^64 are the first doubles past the 64-bit maxima, which themselves
// round up to those powers as doubles.
bool floatFitsSigned(double f, std::int64_t minimum, std::int64_t maximum) {
  if (!(f >= static_cast<double>(minimum))) return false;
  if (maximum == std::numeric_limits<std::int64_t>::max()) return f < 9223372036854775808.0;
  return f <= static_cast<double>(maximum);
}

bool floatFitsUnsigned(double f, std::uint64_t maximum) {
  if (!(f >= 0.0)) return false;
  if (maximum == std::numeric_limits<std::uint64_t>::max()) return f < 18446744073709551616.0;
  return f <= static_cast<double>(maximum);
}

// Sets members[i] to the member of `range` that field i takes, or null, and remembers in
// `shapes` (when given) which field each member took. Members and fieldsByName are both in byte
// order of their names: one merged walk finds every field's member with a single comparison per
// step instead of a lookup per field.
[[gnu::noinline]] void matchByName(const BindingTypeDescriptor& record,
                                   const BindingMemberRange& range, MemberShapes* shapes,
                                   const BindingProperty** members) {
  const std::size_t fieldCount = record.fields.size();
  for (std::size_t i = 0; i < fieldCount; ++i) members[i] = nullptr;
  // Only inputs of few members, each taking at most one field, are remembered.
  MemberShapes::Shape* shape = nullptr;
  if (shapes != nullptr) {
    if (range.size() <= MemberShapes::kMembers && fieldCount < MemberShapes::kNoField) {
      shape = &shapes->claim(&record);
      shape->count = static_cast<std::uint32_t>(range.size());
    } else {
      shapes->forget(&record);
    }
  }
  const BindingFieldName* next = record.fieldsByName.data();
  const BindingFieldName* const last = next + record.fieldsByName.size();
  std::size_t position = 0;
  for (const BindingMember member : range) {
    std::uint16_t taken = MemberShapes::kNoField;
    for (; next != last; ++next) {
      const int comparison = compareBytes(next->name, member.key);
      if (comparison > 0) break;  // the member has no field
      if (comparison == 0) {
        members[next->index] = &member.value;
        if (taken != MemberShapes::kNoField && shape != nullptr) {
          shapes->forget(&record);  // two fields of one name take the same member
          shape = nullptr;
        }
        taken = static_cast<std::uint16_t>(next->index);
      }
    }
    if (shape != nullptr) {
      shape->keys[position] = member.key.data();
      shape->fields[position] = taken;
      ++position;
    } else if (next == last) {
      break;
    }
  }
}

// matchByName's result when the members of `range` have the keys of the input `shape`
// remembers, in the same places: the same fields take them. False otherwise, with `members`
// partly set.
bool matchByShape(const MemberShapes::Shape& shape, const BindingMemberRange& range,
                  std::size_t fieldCount, const BindingProperty** members) {
  if (range.size() != shape.count) return false;
  for (std::size_t i = 0; i < fieldCount; ++i) members[i] = nullptr;
  std::size_t position = 0;
  for (const BindingMember member : range) {
    if (member.key.data() != shape.keys[position]) return false;
    const std::uint16_t field = shape.fields[position];
    if (field != MemberShapes::kNoField) members[field] = &member.value;
    ++position;
  }
  return true;
}

// A 32- or 64-bit integer field (`wide`) of range [minimum, maximum] from a number within it.
bool assignInteger(const BindingProperty& value, void* field, std::int64_t minimum,
                   std::uint64_t maximum, bool wide) {
  std::uint64_t bits = 0;
  if (value.isUnsigned()) {
    bits = value.getUnsigned();
    if (bits > maximum) return false;
  } else if (value.isSigned()) {
    const std::int64_t v = value.getSigned();
    if (v < minimum || (v > 0 && static_cast<std::uint64_t>(v) > maximum)) return false;
    bits = static_cast<std::uint64_t>(v);
  } else {
    return false;
  }
  if (wide) {
    std::memcpy(field, &bits, sizeof bits);
  } else {
    const auto narrow = static_cast<std::uint32_t>(bits);  // two's complement for int32
    std::memcpy(field, &narrow, sizeof narrow);
  }
  return true;
}

// Assigns the native field at `field` from `value` (not empty) as its converter would, when the
// input is one of the common cases of BindingDirectField; false leaves everything to the
// converter.
bool assignDirectly(BindingDirectField direct, const BindingProperty& value, void* field) {
  switch (direct) {
    case BindingDirectField::kBool:
      if (!value.isBool()) return false;
      *static_cast<bool*>(field) = value.getBool();
      return true;
    case BindingDirectField::kInt32:
      return assignInteger(value, field, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), false);
    case BindingDirectField::kUint32:
      return assignInteger(value, field, 0, std::numeric_limits<std::uint32_t>::max(), false);
    case BindingDirectField::kInt64:
      return assignInteger(value, field, std::numeric_limits<std::int64_t>::min(),
                           std::numeric_limits<std::int64_t>::max(), true);
    case BindingDirectField::kUint64:
      return assignInteger(value, field, 0, std::numeric_limits<std::uint64_t>::max(), true);
    case BindingDirectField::kString: {
      if (!value.isString()) return false;
      const std::string_view text = value.getString();
      String& native = *static_cast<String*>(field);
      native.clear();
      native.append(text.data(), text.size());
      return true;
    }
    case BindingDirectField::kOptionalString: {
      if (!value.isString()) return false;
      const std::string_view text = value.getString();
      auto& optional = *static_cast<std::optional<String>*>(field);
      if (optional.has_value()) {
        optional->clear();
        optional->append(text.data(), text.size());
      } else {
        optional.emplace(text.data(), text.size());
      }
      return true;
    }
    case BindingDirectField::kNone:
      break;
  }
  return false;
}

// recordFromValue for the outermost record of a conversion: the records inside remember their
// members' shapes in a memo that lives as long as this call.
[[gnu::noinline]] void recordWithShapes(BindingResult& result, const BindingProperty& value,
                                        std::string_view path,
                                        const BindingConversionContext& context, void* output) {
  MemberShapes shapes;
  const BindingConversionContext withShapes{context.registry, context.descriptor, context.depth,
                                            &shapes};
  recordFromValue(result, value, path, withShapes, output);
}

}  // namespace

bool boolFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                   bool& output) {
  if (!result.ok()) return false;
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kBool:
      output = value.getBool();
      return true;
    case Kind::kString: {
      const std::string_view input = value.getString();
      if (input == "1" || input == "true") {
        output = true;
        return true;
      }
      if (input == "0" || input == "false") {
        output = false;
        return true;
      }
      return fail(result, kBoolFormat, text(input), text(path));
    }
    default:
      return fail(result, kBoolInvalidType, text(path), text(value.kindName()));
  }
}

bool signedFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     std::int64_t minimum, std::int64_t maximum, std::string_view typeName,
                     std::int64_t& output) {
  if (!result.ok()) return false;
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kSigned: {
      const std::int64_t v = value.getSigned();
      if (v < minimum || v > maximum)
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = v;
      return true;
    }
    case Kind::kUnsigned: {
      const std::uint64_t v = value.getUnsigned();
      if (v > static_cast<std::uint64_t>(maximum)) {
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      }
      output = static_cast<std::int64_t>(v);
      return true;
    }
    case Kind::kFloat: {
      const double f = value.getFloat();
      if (!floatFitsSigned(f, minimum, maximum))
        return fail(result, kOutOfRange, f, text(path), text(typeName));
      output = static_cast<std::int64_t>(f);  // truncates toward zero
      return true;
    }
    case Kind::kString: {
      const std::string_view input = value.getString();
      std::int64_t parsed = 0;
      switch (parseSigned(input, parsed)) {
        case ParseStatus::kBadFormat:
          return fail(result, kNumberFormat, text(input), text(path), text(typeName));
        case ParseStatus::kOverflow:
          return fail(result, kOutOfRange, text(input), text(path), text(typeName));
        case ParseStatus::kParsed:
          break;
      }
      if (parsed < minimum || parsed > maximum) {
        return fail(result, kOutOfRange, text(input), text(path), text(typeName));
      }
      output = parsed;
      return true;
    }
    case Kind::kEnum: {
      const std::int32_t v = value.getEnum().value;
      if (v < minimum || v > maximum)
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = v;
      return true;
    }
    default:
      return failInvalidNumberInput(result, value, path, typeName);
  }
}

bool unsignedFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                       std::uint64_t maximum, std::string_view typeName, std::uint64_t& output) {
  if (!result.ok()) return false;
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kSigned: {
      const std::int64_t v = value.getSigned();
      if (v < 0 || static_cast<std::uint64_t>(v) > maximum) {
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      }
      output = static_cast<std::uint64_t>(v);
      return true;
    }
    case Kind::kUnsigned: {
      const std::uint64_t v = value.getUnsigned();
      if (v > maximum) return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = v;
      return true;
    }
    case Kind::kFloat: {
      const double f = value.getFloat();
      if (!floatFitsUnsigned(f, maximum))
        return fail(result, kOutOfRange, f, text(path), text(typeName));
      output = static_cast<std::uint64_t>(f);
      return true;
    }
    case Kind::kString: {
      const std::string_view input = value.getString();
      unsigned long long parsed = 0;
      const ParseStatus status = parseWhole(
          input, [](const char* s, char** e) { return std::strtoull(s, e, 0); }, parsed);
      if (status == ParseStatus::kBadFormat) {
        return fail(result, kNumberFormat, text(input), text(path), text(typeName));
      }
      if (status == ParseStatus::kOverflow || startsWithMinus(input) || parsed > maximum) {
        return fail(result, kOutOfRange, text(input), text(path), text(typeName));
      }
      output = parsed;
      return true;
    }
    case Kind::kEnum: {
      const std::int32_t v = value.getEnum().value;
      if (v < 0 || static_cast<std::uint64_t>(v) > maximum) {
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      }
      output = static_cast<std::uint64_t>(v);
      return true;
    }
    default:
      return failInvalidNumberInput(result, value, path, typeName);
  }
}

bool floatingFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                       double maximum, std::string_view typeName, double& output) {
  if (!result.ok()) return false;
  const auto inRange = [maximum](double f) { return f >= -maximum && f <= maximum; };
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kSigned: {
      const std::int64_t v = value.getSigned();
      if (!inRange(static_cast<double>(v)))
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = static_cast<double>(v);
      return true;
    }
    case Kind::kUnsigned: {
      const std::uint64_t v = value.getUnsigned();
      if (!inRange(static_cast<double>(v)))
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = static_cast<double>(v);
      return true;
    }
    case Kind::kFloat: {
      const double f = value.getFloat();
      if (!inRange(f)) return fail(result, kOutOfRange, f, text(path), text(typeName));
      output = f;
      return true;
    }
    case Kind::kString: {
      const std::string_view input = value.getString();
      double parsed = 0;
      const ParseStatus status = parseWhole(
          input, [](const char* s, char** e) { return std::strtod(s, e); }, parsed);
      if (status == ParseStatus::kBadFormat) {
        return fail(result, kNumberFormat, text(input), text(path), text(typeName));
      }
      // An underflow also reports ERANGE but yields a usable tiny number; only overflow fails.
      if ((status == ParseStatus::kOverflow && std::isinf(parsed)) || !inRange(parsed)) {
        return fail(result, kOutOfRange, text(input), text(path), text(typeName));
      }
      output = parsed;
      return true;
    }
    case Kind::kEnum: {
      const std::int32_t v = value.getEnum().value;
      if (!inRange(static_cast<double>(v)))
        return fail(result, kOutOfRange, v, text(path), text(typeName));
      output = v;
      return true;
    }
    default:
      return failInvalidNumberInput(result, value, path, typeName);
  }
}

bool stringFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     const BindingRegistry* registry, std::string_view& output) {
  if (!result.ok()) return false;
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kString:
      output = value.getString();
      return true;
    case Kind::kEnum: {
      const BindingEnumValue enumValue = value.getEnum();
      const String* name = registry == nullptr
                               ? nullptr
                               : registry->enumeratorName(enumValue.typeId, enumValue.value);
      if (name == nullptr) return fail(result, kNoEnumeratorForString, enumValue.value, text(path));
      output = *name;
      return true;
    }
    default:
      return fail(result, kNotAString, text(path));
  }
}

bool enumFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                   const BindingTypeDescriptor* enumeration, std::string_view displayText,
                   std::int32_t& output) {
  if (!result.ok()) return false;
  const std::string_view enumName =
      enumeration != nullptr ? std::string_view(enumeration->name) : displayText;
  const auto accept = [&](std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max() || enumeration == nullptr ||
        !enumeration->hasEnumeratorValue(static_cast<std::int32_t>(v))) {
      return false;
    }
    output = static_cast<std::int32_t>(v);
    return true;
  };
  switch (value.kind()) {
    case Kind::kEmpty:
      return failRequired(result, path);
    case Kind::kSigned: {
      const std::int64_t v = value.getSigned();
      return accept(v) || fail(result, kNotAnEnumerator, v, text(enumName), text(path));
    }
    case Kind::kUnsigned: {
      const std::uint64_t v = value.getUnsigned();
      if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) &&
          accept(static_cast<std::int64_t>(v))) {
        return true;
      }
      return fail(result, kNotAnEnumerator, v, text(enumName), text(path));
    }
    case Kind::kString: {
      const std::string_view input = value.getString();
      if (enumeration != nullptr) {
        if (const BindingEnumerator* byName = enumeration->findEnumerator(input)) {
          output = byName->value;
          return true;
        }
      }
      std::int64_t parsed = 0;
      if (parseSigned(input, parsed) == ParseStatus::kParsed && accept(parsed)) return true;
      return fail(result, kNotAnEnumerator, text(input), text(enumName), text(path));
    }
    case Kind::kEnum: {
      const std::int32_t v = value.getEnum().value;
      return accept(v) || fail(result, kNotAnEnumerator, v, text(enumName), text(path));
    }
    default:
      return fail(result, kEnumInvalidType, text(path), text(value.kindName()));
  }
}

void objectFromValue(BindingResult& result, const BindingProperty& value, BindingProperty& output) {
  if (!result.ok() || &output == &value) return;
  // No reset before the copy: the input may live inside the output's own tree (or the output
  // inside the input's), and resetting first would free it. The assignment builds the copy
  // before it releases the old payload.
  output = value;
}

bool vectorInputUsable(BindingResult& result, const BindingProperty& value, std::string_view path,
                       const BindingConversionContext& context) {
  if (!result.ok()) return false;
  if (!value.isCollection()) return fail(result, kNotACollection, text(path));
  if (context.depth >= kMaxNestingDepth) {
    return fail(result, kInputTooDeepMessage, text(path), kMaxNestingDepth);
  }
  return true;
}

void recordFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     const BindingConversionContext& context, void* output) {
  if (context.shapes == nullptr) {
    recordWithShapes(result, value, path, context, output);
    return;
  }
  if (!result.ok()) return;
  if (value.isEmpty()) {
    failRequired(result, path);
    return;
  }
  const BindingTypeDescriptor* record = context.descriptor;
  if (record == nullptr) {
    fail(result, kUnregisteredInput, text(path));
    return;
  }
  if (!value.isStructure()) {
    fail(result, kNotAStructure, text(path), record->name);
    return;
  }
  if (context.depth >= kMaxNestingDepth) {
    fail(result, kInputTooDeepMessage, text(path), kMaxNestingDepth);
    return;
  }
  const std::size_t fieldCount = record->fields.size();
  const BindingProperty* inlineSlots[kInlineFieldSlots];
  Vector<const BindingProperty*> heapSlots;
  const BindingProperty** members = inlineSlots;
  if (fieldCount > kInlineFieldSlots) {
    heapSlots.resize(fieldCount);
    members = heapSlots.data();
  }
  const BindingMemberRange range = value.members();
  MemberShapes::Shape* shape = context.shapes != nullptr ? context.shapes->find(record) : nullptr;
  if (shape == nullptr || !matchByShape(*shape, range, fieldCount, members)) {
    matchByName(*record, range, context.shapes, members);
  }
  // Fields in registration order; the first failure ends the conversion.
  auto* base = static_cast<unsigned char*>(output);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    const BindingFieldDescriptor& field = record->fields[i];
    const BindingProperty* member = members[i];
    if (member != nullptr && !member->isEmpty()) {
      if (field.direct != BindingDirectField::kNone &&
          assignDirectly(field.direct, *member, base + field.offset)) {
        continue;
      }
      const BindingConversionContext fieldContext{context.registry, field.type.descriptor,
                                                  context.depth + 1, context.shapes};
      field.converter->toNative(result, *member, base + field.offset, field.name, fieldContext);
      if (!result.ok()) return;
    } else if (field.required()) {
      fail(result, kMissingField, text(path), record->name, field.name);
      return;
    }
  }
}

bool recordToValue(BindingProperty& target, const void* record,
                   const BindingConversionContext& context, String& error) {
  const BindingTypeDescriptor* descriptor = context.descriptor;
  if (descriptor == nullptr) {
    return setError(error, kUnregisteredNative);
  }
  if (context.depth >= kMaxNestingDepth) {
    return setError(error, kNativeTooDeep, kMaxNestingDepth);
  }
  target.makeStructure();
  const auto* base = static_cast<const unsigned char*>(record);
  for (const BindingFieldDescriptor& field : descriptor->fields) {
    const BindingConversionContext fieldContext{context.registry, field.type.descriptor,
                                                context.depth + 1};
    const void* source = base + field.offset;
    if (field.omitEmpty()) {
      // Produced apart so that an omitted member leaves what the structure already holds.
      BindingProperty produced;
      if (!field.converter->toValue(produced, source, error, fieldContext)) return false;
      if (!isOmittable(produced)) target.member(field.name) = std::move(produced);
      continue;
    }
    BindingProperty& member = target.member(field.name);
    member.reset();
    if (!field.converter->toValue(member, source, error, fieldContext)) return false;
  }
  return true;
}

bool vectorOutputUsable(const BindingConversionContext& context, String& error) {
  if (context.depth < kMaxNestingDepth) return true;
  return setError(error, kNativeTooDeep, kMaxNestingDepth);
}

bool isOmittable(const BindingProperty& value) {
  switch (value.kind()) {
    case Kind::kEmpty:
      return true;
    case Kind::kBool:
      return !value.getBool();
    case Kind::kSigned:
      return value.getSigned() == 0;
    case Kind::kUnsigned:
      return value.getUnsigned() == 0;
    case Kind::kFloat:
      return value.getFloat() == 0.0;
    case Kind::kEnum:
      return value.getEnum().value == 0;
    case Kind::kString:
    case Kind::kBlob:
    case Kind::kCollection:
    case Kind::kStructure:
      return value.size() == 0;
  }
  return false;
}

}  // namespace tev::binding_internal
