#include "logging/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace tev {
namespace {

std::string encode(const std::string& bytes) {
  const String out = base64Encode(bytes.data(), bytes.size());
  return std::string(out.data(), out.size());
}

TEST(Base64Encode, PadsTheLastGroup) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("a"), "YQ==");
  EXPECT_EQ(encode("ab"), "YWI=");
  EXPECT_EQ(encode("abc"), "YWJj");
  EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64Encode, UsesTheWholeAlphabetOnBinaryBytes) {
  EXPECT_EQ(encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
  EXPECT_EQ(encode(std::string("\0\0\0", 3)), "AAAA");
  EXPECT_EQ(encode(std::string(60, 'x')).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace tev
