#include "serialization/msgpack_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serialization/json_writer.h"
#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

using codec_test::bytes;
using codec_test::describe;
using codec_test::repeat;

struct Decoded {
  std::string text;  // the tree, or "error: <message>"
  std::size_t consumed;
};

Decoded decode(const std::string& input) {
  BindingResult result;
  // A copy on the heap with nothing after it, so a read past the end is caught.
  std::vector<char> data(input.begin(), input.end());
  const std::size_t consumed = decodeMsgPack(result, data.data(), data.size());
  return {result.ok() ? describe(result.value()) : "error: " + std::string(result.error()),
          consumed};
}

struct Row {
  std::string input;
  std::string expected;
  std::size_t consumed;
};

TEST(MsgPackReader, DecodesEveryTypeClass) {
  const Row rows[] = {
      {"", "null", 0},
      {bytes({0x00}), "s0", 1},
      {bytes({0x7F}), "s127", 1},
      {bytes({0xE0}), "s-32", 1},
      {bytes({0xFF}), "s-1", 1},
      {bytes({0xC0}), "null", 1},
      {bytes({0xC2}), "false", 1},
      {bytes({0xC3}), "true", 1},
      {bytes({0xCC, 0xFF}), "u255", 2},
      {bytes({0xCD, 0x01, 0x02}), "u258", 3},
      {bytes({0xCE, 0xFF, 0xFF, 0xFF, 0xFF}), "u4294967295", 5},
      {bytes({0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "u18446744073709551615", 9},
      {bytes({0xD0, 0x80}), "s-128", 2},
      {bytes({0xD1, 0xFF, 0x00}), "s-256", 3},
      {bytes({0xD2, 0x80, 0x00, 0x00, 0x00}), "s-2147483648", 5},
      {bytes({0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}), "s-9223372036854775808", 9},
      {bytes({0xCA, 0x3F, 0xC0, 0x00, 0x00}), "f1.5", 5},
      {bytes({0xCB, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}), "f3.1415926535897931", 9},
      {bytes({0xA0}), "\"\"", 1},
      {bytes({0xA2, 'h', 'i'}), "\"hi\"", 3},
      {bytes({0xD9, 0x01, 'x'}), "\"x\"", 3},
      {bytes({0xDA, 0x00, 0x01, 'y'}), "\"y\"", 4},
      {bytes({0xDB, 0x00, 0x00, 0x00, 0x02, 0, 'z'}), std::string("\"\0z\"", 4), 7},
      {bytes({0xC4, 0x02, 0x41, 0x0A}), "b410a", 4},
      {bytes({0xC5, 0x00, 0x01, 0xFE}), "bfe", 4},
      {bytes({0xC6, 0x00, 0x00, 0x00, 0x00}), "b", 5},
      {bytes({0x90}), "[]", 1},
      {bytes({0x92, 0x01, 0xA1, 'a'}), "[s1,\"a\"]", 4},
      {bytes({0xDC, 0x00, 0x02, 0xC2, 0xC3}), "[false,true]", 5},
      {bytes({0xDD, 0x00, 0x00, 0x00, 0x01, 0x91, 0x90}), "[[[]]]", 7},
      {bytes({0x80}), "{}", 1},
      {bytes({0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x02}), "{a:s2,b:s1}", 7},
      {bytes({0xDE, 0x00, 0x01, 0xD9, 0x01, 'k', 0x90}), "{k:[]}", 7},
      {bytes({0xDF, 0x00, 0x00, 0x00, 0x01, 0xDA, 0x00, 0x01, 'k', 0x81, 0xDB, 0, 0, 0, 0, 0xC0}),
       "{k:{:null}}", 16},
  };
  for (const Row& row : rows) {
    const Decoded decoded = decode(row.input);
    EXPECT_EQ(decoded.text, row.expected) << "input of " << row.input.size() << " bytes";
    EXPECT_EQ(decoded.consumed, row.consumed) << row.expected;
  }
}

// Every byte of each field differs, so a field read in the wrong order or at the wrong width
// shows; lengths and counts of 16 and 32 bits with a non-zero high byte, in values and keys.
TEST(MsgPackReader, ReadsFieldsMostSignificantByteFirst) {
  const std::string key256(256, 'k');
  const std::string text65536(65536, 't');
  const Row rows[] = {
      {bytes({0xCD, 0xFE, 0x01}), "u65025", 3},
      {bytes({0xCE, 0x01, 0x02, 0x03, 0x04}), "u16909060", 5},
      {bytes({0xCF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}), "u72623859790382856", 9},
      {bytes({0xD1, 0x80, 0x01}), "s-32767", 3},
      {bytes({0xD2, 0xFE, 0xDC, 0xBA, 0x98}), "s-19088744", 5},
      {bytes({0xD3, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}), "s-81985529216486896", 9},
      {bytes({0xCA, 0xC1, 0x48, 0x00, 0x01}), "f-12.500000953674316", 5},
      {bytes({0xCB, 0xC0, 0x5E, 0xDD, 0x2F, 0x1A, 0x9F, 0xBE, 0x77}), "f-123.456", 9},
      {bytes({0x81, 0xDA, 0x01, 0x00}) + key256 + bytes({0x07}), "{" + key256 + ":s7}", 261},
      {bytes({0xDB, 0x00, 0x01, 0x00, 0x00}) + text65536, "\"" + text65536 + "\"", 65541},
      {bytes({0xDC, 0x01, 0x00}) + repeat(bytes({0xC3}), 256), "[" + repeat("true,", 255) + "true]",
       259},
  };
  for (const Row& row : rows) {
    const Decoded decoded = decode(row.input);
    EXPECT_EQ(decoded.text, row.expected) << "input of " << row.input.size() << " bytes";
    EXPECT_EQ(decoded.consumed, row.consumed) << "input of " << row.input.size() << " bytes";
  }
}

TEST(MsgPackReader, ReportsInvalidAndTruncatedItemsWithPositions) {
  const Row rows[] = {
      {bytes({0xC1}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0xC7, 0x01, 0x01, 0x00}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0xC8}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0xC9}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0xD4, 0x01, 0x00}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0xD8}), "error: Invalid MessagePack data at position 1.", 1},
      {bytes({0x91, 0x92, 0x01, 0xC1}), "error: Invalid MessagePack data at position 4.", 4},
      {bytes({0x81, 0x01, 0x02}),
       "error: Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {bytes({0x82, 0xA1, 'a', 0x01, 0xC0, 0x02}),
       "error: Invalid MessagePack data at position 5. Map keys must be strings.", 5},
      {bytes({0xCC}),
       "error: Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {bytes({0xCD, 0x01}),
       "error: Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {bytes({0xD2, 0x01, 0x02, 0x03}),
       "error: Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {bytes({0xCA, 0x00}),
       "error: Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {bytes({0xCB, 0, 0, 0, 0, 0, 0, 0}),
       "error: Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {bytes({0xD3}),
       "error: Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {bytes({0xD9}),
       "error: Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {bytes({0xDC, 0x00}),
       "error: Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {bytes({0xDF, 0x00, 0x00}),
       "error: Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {bytes({0xA3, 'a', 'b'}),
       "error: Invalid MessagePack data. String of size 3 at position 1 is truncated.", 1},
      {bytes({0x91, 0xDA, 0x00, 0x05, 'a'}),
       "error: Invalid MessagePack data. String of size 5 at position 4 is truncated.", 4},
      {bytes({0xC4, 0x02, 0x00}),
       "error: Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated.", 2},
      {bytes({0x81, 0xA2, 'k'}),
       "error: Invalid MessagePack data. String of size 2 at position 2 is truncated.", 2},
      {bytes({0x81, 0xD9}),
       "error: Invalid MessagePack data. 8-bit integer value at position 2 is truncated.", 2},
  };
  for (const Row& row : rows) {
    const Decoded decoded = decode(row.input);
    EXPECT_EQ(decoded.text, row.expected) << row.expected;
    EXPECT_EQ(decoded.consumed, row.consumed) << row.expected;
  }
}

TEST(MsgPackReader, StopsAfterTheRootItem) {
  EXPECT_EQ(decode(bytes({0x01, 0x02, 0x03})).consumed, 1u);
  EXPECT_EQ(decode(bytes({0x91, 0x90, 0xC1})).consumed, 2u);
  EXPECT_EQ(decode(bytes({0x80, 0x80})).text, "{}");
}

TEST(MsgPackReader, InputEndingInsideContainersKeepsWhatWasRead) {
  EXPECT_EQ(decode(bytes({0x93, 0x01})).text, "[s1]");
  EXPECT_EQ(decode(bytes({0x93, 0x01})).consumed, 2u);
  EXPECT_EQ(decode(bytes({0x82, 0xA1, 'a', 0x92, 0x05})).text, "{a:[s5]}");
  // A key without its value adds no member.
  EXPECT_EQ(decode(bytes({0x81, 0xA1, 'a'})).text, "{}");
}

TEST(MsgPackReader, ARepeatedKeyKeepsTheLaterValue) {
  EXPECT_EQ(decode(bytes({0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02})).text, "{a:s2}");
  // Containers are replaced, not merged.
  EXPECT_EQ(decode(bytes({0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x91, 0x02})).text, "{a:[s2]}");
}

TEST(MsgPackReader, KeysAreWrittenInByteOrderNotWireOrder) {
  BindingResult result;
  const std::string input = bytes({0x83, 0xA1, 'b', 0x01, 0xA1, 'a', 0x02, 0xA1, 'B', 0x03});
  ASSERT_EQ(decodeMsgPack(result, input.data(), input.size()), input.size());
  const String json = writeJson(result.value());
  EXPECT_EQ(std::string(json.data(), json.size()), "{\"B\":3,\"a\":2,\"b\":1}");
}

TEST(MsgPackReader, LeavesAFailedResultAlone) {
  BindingResult result;
  result.fail("earlier");
  const std::string input = bytes({0x01});
  EXPECT_EQ(decodeMsgPack(result, input.data(), input.size()), 0u);
  EXPECT_EQ(result.error(), "earlier");
  BindingResult fresh;
  EXPECT_EQ(decodeMsgPack(fresh, nullptr, 4), 0u);
  EXPECT_TRUE(fresh.ok());
}

TEST(MsgPackReader, HugeDeclaredSizesAllocateNothingTheInputCannotHold) {
  const struct {
    std::string input;
    const char* expected;
  } rows[] = {
      {bytes({0xDD, 0xFF, 0xFF, 0xFF, 0xFF}), "[]"},
      {bytes({0xDD, 0x10, 0x00, 0x00, 0x00}), "[]"},
      {bytes({0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02}), "[s1,s2]"},
      {bytes({0xDF, 0xFF, 0xFF, 0xFF, 0xFF}), "{}"},
      {bytes({0xDF, 0x80, 0x00, 0x00, 0x00, 0xA1, 'k', 0x01}), "{k:s1}"},
      {bytes({0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
       "error: Invalid MessagePack data. String of size 4294967295 at position 5 is truncated."},
      {bytes({0xC6, 0xFF, 0xFF, 0xFF, 0xFF}),
       "error: Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are "
       "truncated."},
      {bytes({0x81, 0xDB, 0xFF, 0xFF, 0xFF, 0xFE}),
       "error: Invalid MessagePack data. String of size 4294967294 at position 6 is truncated."},
  };
  for (const auto& row : rows) {
    codec_test::HeapMeter meter;
    EXPECT_EQ(decode(row.input).text, row.expected);
    EXPECT_LT(meter.peakBytes(), 64u * 1024u) << row.expected;
  }
}

TEST(MsgPackReader, NestedHugeArraysStopAtTheNestingLimitWithLittleMemory) {
  const std::string input = repeat(bytes({0xDC, 0xFF, 0xFF}), 24000);
  codec_test::HeapMeter meter;
  const Decoded decoded = decode(input);
  EXPECT_EQ(decoded.text,
            "error: Invalid MessagePack data at position 385. Nesting deeper than 128 levels.");
  // The input copy in decode() is 72,000 bytes; the reserved room is bounded by it as well.
  EXPECT_LT(meter.peakBytes(), 2u * 1024u * 1024u);
}

}  // namespace
}  // namespace tev
