#include "platform/bounded_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tev::platform {
namespace {

int format(char* buffer, std::size_t size, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  const int result = boundedFormat(buffer, size, fmt, args);
  va_end(args);
  return result;
}

TEST(BoundedFormat, FitsAndReportsLength) {
  char buffer[16];
  EXPECT_EQ(format(buffer, sizeof buffer, "%s-%d", "ab", 42), 5);
  EXPECT_STREQ(buffer, "ab-42");
}

TEST(BoundedFormat, TruncationKeepsPrefixAndReportsMinusOne) {
  char buffer[6];
  EXPECT_EQ(format(buffer, sizeof buffer, "%s", "abcdefgh"), -1);
  EXPECT_STREQ(buffer, "abcde");
  // Exactly size - 1 characters still fit.
  EXPECT_EQ(format(buffer, sizeof buffer, "%s", "abcde"), 5);
}

TEST(BoundedFormat, ZeroSizeWritesNothing) {
  char buffer[2] = {'x', 'y'};
  EXPECT_EQ(format(buffer, 0, "%s", "a"), -1);
  EXPECT_EQ(buffer[0], 'x');
}

// A failure of the C library's formatter is not a truncation: the caller gets an empty text and
// a result that says which, never what an earlier call left in the buffer.
TEST(BoundedFormat, AFormatterFailureIsReportedApartFromTruncation) {
  char buffer[32];
  std::memset(buffer, 'z', sizeof buffer);
  // A width beyond what the formatter can count: glibc refuses it, MinGW's formatter reads less.
  const int result = format(buffer, sizeof buffer, "%3000000000d", 5);
  if (result < 0) {
    EXPECT_EQ(result, kBoundedFormatFailed);
    EXPECT_STREQ(buffer, "");
  } else {
    EXPECT_EQ(static_cast<std::size_t>(result), std::strlen(buffer));
  }
  EXPECT_EQ(format(buffer, 4, "%s", "abcdef"), kBoundedFormatTruncated);
  EXPECT_STREQ(buffer, "abc");
}

TEST(BoundedFormat, SameTextOnEveryTarget) {
  char buffer[64];
  ASSERT_GT(
      format(buffer, sizeof buffer, "%lld %e %llx", -9000000000LL, 1e5, 0xFFFFFFFFFFFFFFFFULL), 0);
  EXPECT_STREQ(buffer, "-9000000000 1.000000e+05 ffffffffffffffff");
}

}  // namespace
}  // namespace tev::platform
