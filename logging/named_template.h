// Named message templates: "Error response for {method} {url}: {error}" compiles into the
// positional template 'Error response for %1 %2: %3' for formatMessage, while each named value
// is recorded in a FieldMap so that an error carries its fields by name as well as its text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/allocator.h"

namespace tev {

// A small tagged value for named templates. Kind codes are part of the contract.
struct FieldValue {
  enum Kind : std::uint8_t {
    kEmpty = 0,
    kBool = 1,
    kSigned = 2,
    kUnsigned = 3,
    kDouble = 4,
    kText = 5
  };

  Kind kind = kEmpty;
  bool boolean = false;
  std::uint64_t integer = 0;  // kSigned keeps the two's-complement bits of an int64
  double number = 0.0;
  String text;

  static FieldValue ofBool(bool value);
  static FieldValue ofSigned(std::int64_t value);
  static FieldValue ofUnsigned(std::uint64_t value);
  static FieldValue ofDouble(double value);
  static FieldValue ofText(const char* text);
  static FieldValue ofText(String text);

  // Boolean false, integer 0, double 0, empty text, or no value at all.
  bool isEmptyValue() const;
  friend bool operator==(const FieldValue&, const FieldValue&) = default;
};

using FieldMap = StringMap<FieldValue>;

// Compiles `templateText` with `count` values (in placeholder order) into `positional`, and
// records each named placeholder's value in `fields` (cleared first). Placeholders beyond
// `count` write nothing; printf specifications pass through unchanged.
void compileNamedTemplate(const char* templateText, const FieldValue* values, std::size_t count,
                          String& positional, FieldMap& fields);

}  // namespace tev
