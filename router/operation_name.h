// The rule that names a function after its method and path, and the plugin's namespace name
// after its short name: "GET" with "/items/{id}" gives "GetItemsById".
#pragma once

#include <string_view>

#include "platform/allocator.h"

namespace tev {

// Builds "<Prefix-capitalised><path>" (the path alone for an empty prefix) and turns it into one
// identifier: '!', '+', '-', '.', '/' and '_' are dropped and upper-case the next kept character,
// '{' writes "By" and upper-cases the next, '}' is dropped, and the first kept character is upper
// case.
String operationName(std::string_view prefix, std::string_view path);

}  // namespace tev
