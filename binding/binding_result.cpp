#include "binding/binding_result.h"

namespace tev {

BindingResult BindingResult::failure(std::string_view message) {
  BindingResult result;
  result.fail(message);
  return result;
}

void BindingResult::fail(std::string_view message) {
  value_.reset();
  ok_ = false;
  value_.makeStructure();
  value_.member("error").setString(message);
}

void BindingResult::reset() {
  value_.reset();
  ok_ = true;
}

std::string_view BindingResult::error() const {
  if (ok_) return {};
  return value_.getMember("error").getString();
}

}  // namespace tev
