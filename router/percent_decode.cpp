#include "router/percent_decode.h"

namespace tev {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

String percentDecode(std::string_view text) {
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else if (text.size() - i < 3) {
      // Too short to be an escape: the '%' is dropped and the one or two characters after it are
      // copied as they stand, so "a%+" gives "a+" and "%%" gives "%" (not decoded again).
      for (++i; i < text.size(); ++i) out += text[i];
    } else {
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) {
        out += '%';  // not an escape: kept literally, the next characters follow as they are
      } else {
        out += static_cast<char>((high << 4) | low);
        i += 2;
      }
    }
  }
  return out;
}

}  // namespace tev
