#include "logging/format_message.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/bounded_format.h"

namespace tev {
namespace {

std::string str(const String& s) { return std::string(s.data(), s.size()); }

TEST(FormatMessage, PositionalPlaceholders) {
  EXPECT_EQ(str(formatMessage("%1 and %2", "a", 5)), "a and 5");
  EXPECT_EQ(str(formatMessage("%2 %1", "a", 5)), "5 a");
  EXPECT_EQ(str(formatMessage("Unknown argument '%1' for '%2'.", String("x"), std::string("f"))),
            "Unknown argument 'x' for 'f'.");
}

TEST(FormatMessage, PercentSigns) {
  EXPECT_EQ(str(formatMessage("100%%")), "100%");
  // A lone '%' at the end takes the next argument with its default conversion...
  EXPECT_EQ(str(formatMessage("n=%", 7)), "n=7");
  // ...and with no argument left, the output ends there.
  EXPECT_EQ(str(formatMessage("cut % here")), "cut ");
}

TEST(FormatMessage, DollarFormsCarryPrintfConversions) {
  EXPECT_EQ(str(formatMessage("%1$08.3f", 3.14159)), "0003.142");
  EXPECT_EQ(str(formatMessage("%1$x", 255)), "ff");
  EXPECT_EQ(str(formatMessage("[%2$-4s|%1$5d]", 42, "ab")), "[ab  |   42]");
}

TEST(FormatMessage, UnacceptedConversionIsReplacedByTheDefault) {
  EXPECT_EQ(str(formatMessage("%1$d", "text")), "text");
  EXPECT_EQ(str(formatMessage("%1$5q", 42)), "   42");
  EXPECT_EQ(str(formatMessage("%1$p", 42u)), "42");
  EXPECT_EQ(str(formatMessage("%1$s", 2.5)), "2.5");
}

TEST(FormatMessage, NumberBeyondTheCountIsAWidth) {
  // With two arguments '%3' is a width of 3 for the next sequential argument, and the character
  // after it is the conversion.
  EXPECT_EQ(str(formatMessage("%3d|", 1, 2)), "  1|");
  EXPECT_EQ(str(formatMessage("[%3s]", "a", "b")), "[  a]");
}

TEST(FormatMessage, SixtyFourBitIntegers) {
  const std::int64_t big = -9000000000LL;
  EXPECT_EQ(str(formatMessage("%1", big)), "-9000000000");
  EXPECT_EQ(str(formatMessage("%1", UINT64_MAX)), "18446744073709551615");
  // An explicit '%d' prints the low 32 bits, as it does on the 32-bit host.
  EXPECT_EQ(str(formatMessage("%1$d", std::int64_t{0x100000005LL})), "5");
  EXPECT_EQ(str(formatMessage("%1$llx", std::uint64_t{0x123456789ULL})), "123456789");
}

TEST(FormatMessage, LongFormatsAlikeOnEveryTarget) {
  const long value = -5;
  const unsigned long positive = 4000000000UL;
  EXPECT_EQ(str(formatMessage("%1 %2", value, positive)), "-5 4000000000");
  EXPECT_EQ(str(formatMessage("%1$ld", value)), "-5");
}

TEST(FormatMessage, CharactersAndTextKinds) {
  EXPECT_EQ(str(formatMessage("%1", 'x')), "x");
  EXPECT_EQ(str(formatMessage("%1$d", 'A')), "65");
  const char* nothing = nullptr;
  EXPECT_EQ(str(formatMessage("[%1]", nothing)), "[(null)]");
  EXPECT_EQ(str(formatMessage("%1", std::pair<String, String>("key", "value"))), "key:value");
}

TEST(FormatMessage, VersionText) {
  PluginApiVersion version{18, 2, 1, {}, {}};
  EXPECT_EQ(str(formatMessage("v%1", version)), "v18.2.1");
  version.prerelease = "beta";
  EXPECT_EQ(str(versionText(version)), "18.2.1-beta");
  version.build = "42";
  EXPECT_EQ(str(versionText(version)), "18.2.1-beta+42");
  version.prerelease.clear();
  EXPECT_EQ(str(versionText(version)), "18.2.1+42");
  PluginApiVersion widest{4294967295u, 4294967295u, 4294967295u, {}, {}};
  EXPECT_EQ(str(versionText(widest)), "4294967295.4294967295.4294967295");
}

TEST(FormatMessage, StarWidthAndPrecision) {
  EXPECT_EQ(str(formatMessage("[%*d]", 5, 42)), "[   42]");
  EXPECT_EQ(str(formatMessage("[%.*f]", 2, 3.14159)), "[3.14]");
  EXPECT_EQ(str(formatMessage("[%*.*f]", 7, 2, 3.14159)), "[   3.14]");
  EXPECT_EQ(str(formatMessage("[%3$*1$.*2$f]", 8, 3, 2.5)), "[   2.500]");
  // A '-' right after the '.' is dropped.
  EXPECT_EQ(str(formatMessage("[%.-*f]", 1, 2.25)), "[2.2]");
}

TEST(FormatMessage, BadStarArgumentEndsTheOutput) {
  EXPECT_EQ(str(formatMessage("a%*db", "x", 1)), "a");  // text is not usable as a width
  EXPECT_EQ(str(formatMessage("a%1$*3$db", 1)), "a");   // '*' index beyond the count
  EXPECT_EQ(str(formatMessage("a%*db", 1)), "a");       // no argument left after the width
  // '%2' with one argument is a width of 2 with ' ' as conversion, replaced by 'd'.
  EXPECT_EQ(str(formatMessage("a %1 b %2 c", 1)), "a 1 b  1c");
}

TEST(FormatMessage, ConversionNWritesNothing) {
  int target = 0;
  EXPECT_EQ(str(formatMessage("a%1$nb", target)), "ab");
  EXPECT_EQ(target, 0);
}

TEST(FormatMessage, OverlongSpecificationStopsFormatting) {
  const std::string spec = "x%1$" + std::string(70, '0') + "5d y";
  EXPECT_EQ(str(formatMessage(spec.c_str(), 1)), "x");
}

TEST(FormatMessage, OutputIsCutAt4095Characters) {
  const std::string long_text(5000, 'a');
  const String out = formatMessage("%1", long_text);
  EXPECT_EQ(out.size(), kMessageLimit);
  const std::string literal(5000, 'b');
  EXPECT_EQ(formatMessage(literal.c_str()).size(), kMessageLimit);
  // A cut in the middle of an argument keeps what fits.
  const std::string prefix(4090, 'p');
  const String mixed = formatMessage((prefix + "%1").c_str(), "0123456789");
  EXPECT_EQ(str(mixed), prefix + "01234");
}

// bool, 8- and 16-bit integers and narrow enumerations are read at their own width.
enum class Tiny : std::int8_t { kMinusThree = -3 };
enum class Small : std::uint16_t { kLarge = 65000 };
enum Plain : unsigned char { kPlainSeven = 7 };

TEST(FormatMessage, NarrowArgumentsFormatByValue) {
  const bool yes = true;
  const bool no = false;
  const std::int8_t minusFive = -5;
  const std::uint8_t twoHundred = 200;
  const signed char minusOne = -1;
  const std::int16_t minus300 = -300;
  const std::uint16_t big = 60000;
  EXPECT_EQ(str(formatMessage("%1 %2 %3 %4 %5 %6 %7", yes, no, minusFive, twoHundred, minusOne,
                              minus300, big)),
            "1 0 -5 200 -1 -300 60000");
  const Tiny tiny = Tiny::kMinusThree;
  const Small small = Small::kLarge;
  const Plain plain = kPlainSeven;
  EXPECT_EQ(str(formatMessage("%1 %2 %3 %3$x", tiny, small, plain)), "-3 65000 7 7");
  // A narrow value as a '*' width, and printf's own narrowing still applies.
  const std::uint8_t width = 4;
  EXPECT_EQ(str(formatMessage("[%1$*2$d] %3$hhu", 7, width, minus300)), "[   7] 212");
}

// A kind whose formatter fails after scribbling over the room it was given.
const FormatArgKind kFailingKind{[](FormatCall& call) {
                                   for (std::size_t i = 0; i + 1 < call.room; ++i) {
                                     call.output[i] = '?';
                                   }
                                   return platform::kBoundedFormatFailed;
                                 },
                                 [](const void*) -> std::int32_t { return 0; }, false};

// A failure of the formatter ends the output there; what was written before it is the result.
TEST(FormatInto, AFormatterFailureKeepsWhatWasWrittenSoFar) {
  char buffer[64];
  std::memset(buffer, 'z', sizeof buffer);
  const int number = 1;
  const FormatArgKind* kinds[] = {&formatArgKindOf<int>(), &kFailingKind};
  const void* arguments[] = {&number, &number};
  EXPECT_EQ(formatInto(buffer, sizeof buffer, "a%1b%2c", kinds, arguments, 2), 3u);
  EXPECT_STREQ(buffer, "a1b");
  // The same through the C library, where it refuses a width it cannot count (glibc does; MinGW's
  // formatter reads less of it): never the rest of the buffer.
  const std::string text = str(formatMessage("before %1$3000000000d after", number));
  EXPECT_TRUE(text == "before " || text == "before 1 after") << text.size() << " " << text;
}

TEST(FormatInto, AlwaysTerminatesAndCountsCharacters) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(formatInto(buffer, sizeof buffer, "abcdef", nullptr, nullptr, 0), 3u);
  EXPECT_STREQ(buffer, "abc");
  char one[1] = {'x'};
  EXPECT_EQ(formatInto(one, 1, "abc", nullptr, nullptr, 0), 0u);
  EXPECT_EQ(one[0], '\0');
}

}  // namespace
}  // namespace tev
