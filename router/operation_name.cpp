#include "router/operation_name.h"

#include <cctype>

#include "logging/format_message.h"

namespace tev {
namespace {

bool isSeparator(char c) {
  return c == '!' || c == '+' || c == '-' || c == '.' || c == '/' || c == '_';
}

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

String operationName(std::string_view prefix, std::string_view path) {
  String text;
  if (!prefix.empty()) {
    String rest(prefix.substr(1));
    for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    text = formatMessage("%1%2/", prefix.front(), rest);
    // The template's own '/' closes the prefix; the path follows it.
  }
  text.append(path.data(), path.size());

  String name;
  name.reserve(text.size());
  bool raise = true;  // the first kept character is upper case
  for (const char c : text) {
    if (isSeparator(c)) {
      raise = true;
    } else if (c == '{') {
      name += "By";
      raise = true;
    } else if (c == '}') {
      // dropped
    } else {
      name += raise ? upper(c) : c;
      raise = false;
    }
  }
  return name;
}

}  // namespace tev
