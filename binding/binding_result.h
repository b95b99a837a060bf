// BindingResult: the status of a conversion or decode, a value plus a success flag. A failed
// result holds the structure {"error": message}. Steps that take a result return at once when
// it has already failed, so the first error of a long conversion is the one reported.
#pragma once

#include <string_view>
#include <utility>

#include "binding/binding_property.h"

namespace tev {

class BindingResult {
 public:
  // An empty value, succeeded.
  BindingResult() = default;
  explicit BindingResult(BindingProperty value) : value_(std::move(value)) {}

  // A result that failed with `message`.
  [[nodiscard]] static BindingResult failure(std::string_view message);

  [[nodiscard]] bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }

  BindingProperty& value() { return value_; }
  const BindingProperty& value() const { return value_; }

  // Resets the value, clears the flag and stores {"error": message}. Replaces any earlier
  // error; steps that must keep the first error check ok() before calling this.
  void fail(std::string_view message);

  // Back to a fresh result: empty value, succeeded.
  void reset();

  // The empty text while ok(); otherwise the "error" member when it is a string, else the
  // empty text. Valid until the result changes.
  [[nodiscard]] std::string_view error() const;

 private:
  BindingProperty value_;
  bool ok_ = true;
};

}  // namespace tev
