#include "serialization/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "binding/binding_registry.h"
#include "platform/allocation_counters.h"
#include "serialization/internal/json_long_text.h"
#include "serialization/json_reader.h"
#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

std::string compact(const BindingProperty& value, const BindingRegistry* registry = nullptr) {
  const String text = writeJson(value, registry);
  return std::string(text.data(), text.size());
}

std::string pretty(const BindingProperty& value, const char* lineBreak) {
  const String text = writeJson(value, nullptr, lineBreak);
  return std::string(text.data(), text.size());
}

TEST(JsonWriter, EmptyRootIsTheEmptyTextAndEmptyMembersAreNull) {
  BindingProperty root;
  EXPECT_EQ(compact(root), "");
  EXPECT_EQ(pretty(root, "\r\n"), "");
  root.member("gone");
  root.member("list").append();
  EXPECT_EQ(compact(root), "{\"gone\":null,\"list\":[null]}");
}

TEST(JsonWriter, ScalarsUseRapidjsonForms) {
  BindingProperty list;
  list.append().setBool(true);
  list.append().setSigned(std::numeric_limits<std::int64_t>::min());
  list.append().setUnsigned(std::numeric_limits<std::uint64_t>::max());
  list.append().setFloat(0.0);
  list.append().setFloat(1.0);
  list.append().setFloat(0.1);
  list.append().setFloat(-2.5e-300);
  list.append().setFloat(1e21);
  EXPECT_EQ(compact(list),
            "[true,-9223372036854775808,18446744073709551615,0.0,1.0,0.1,-2.5e-300,1e21]");
}

TEST(JsonWriter, NanAndInfinitiesBecomeNull) {
  BindingProperty root;
  root.member("nan").setFloat(std::numeric_limits<double>::quiet_NaN());
  root.member("up").setFloat(std::numeric_limits<double>::infinity());
  BindingProperty& list = root.member("list");
  list.append().setFloat(-std::numeric_limits<double>::infinity());
  list.append().setFloat(2.0);
  const std::string text = compact(root);
  EXPECT_EQ(text, "{\"list\":[null,2.0],\"nan\":null,\"up\":null}");
  EXPECT_TRUE(parseJson(text.c_str()).ok());
  BindingProperty alone;
  alone.setFloat(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(compact(alone), "null");
}

TEST(JsonWriter, StringsAreEscapedAndBlobsWrittenAsBase64) {
  BindingProperty root;
  root.member("text").setString(std::string_view("q\"b\\\n\x01\0\xC3\xA9", 9));
  root.member("blob").setBlob("\x41\x0A", 2);
  root.member("none").setBlob(nullptr, 0);
  EXPECT_EQ(compact(root),
            "{\"blob\":\"QQo=\",\"none\":\"\",\"text\":\"q\\\"b\\\\\\n\\u0001\\u0000\xC3\xA9\"}");
}

// Escapes are \b \t \n \f \r, \u00XX for the other bytes below 0x20, and \" and \\; every
// other byte, 0x7F and UTF-8 sequences included, is written as it is. In keys as in values.
TEST(JsonWriter, EscapesControlBytesQuoteAndBackslashOnly) {
  std::string every;
  std::string expected;
  for (int byte = 0; byte < 256; ++byte) {
    every.push_back(static_cast<char>(byte));
    switch (byte) {
      case '\b':
        expected += "\\b";
        break;
      case '\t':
        expected += "\\t";
        break;
      case '\n':
        expected += "\\n";
        break;
      case '\f':
        expected += "\\f";
        break;
      case '\r':
        expected += "\\r";
        break;
      case '"':
        expected += "\\\"";
        break;
      case '\\':
        expected += "\\\\";
        break;
      default:
        if (byte < 0x20) {
          static const char kHex[] = "0123456789ABCDEF";
          expected += std::string("\\u00") + kHex[byte >> 4] + kHex[byte & 0xF];
        } else {
          expected.push_back(static_cast<char>(byte));
        }
    }
  }
  BindingProperty value;
  value.setString(every);
  EXPECT_EQ(compact(value), "\"" + expected + "\"");
  BindingProperty keyed;
  keyed.member(every).setBool(true);
  EXPECT_EQ(compact(keyed), "{\"" + expected + "\":true}");
  EXPECT_EQ(pretty(keyed, "\n"), "{\n    \"" + expected + "\": true\n}");
}

// Texts longer than the writer's first room, strings escaped across its pieces of 1024 bytes,
// and nesting deeper than rapidjson's first level stack come out whole.
TEST(JsonWriter, LongTextsAndDeepNestingAreWrittenWhole) {
  std::string text;
  for (int index = 0; index < 5000; ++index) {
    text.push_back(index % 1023 == 0 || index == 1024 ? '\x01'
                                                      : static_cast<char>('a' + index % 26));
  }
  BindingProperty root;
  for (int index = 0; index < 4; ++index)
    root.member("text" + std::to_string(index)).setString(text);
  BindingProperty* level = &root.member("nested");
  for (int depth = 0; depth < 60; ++depth) level = &level->append().member("down");
  level->setSigned(-1);
  const std::string written = compact(root);
  EXPECT_GT(written.size(), 4u * 5000u);
  const BindingResult read = parseJson(written.c_str());
  ASSERT_TRUE(read.ok()) << read.error();
  EXPECT_EQ(codec_test::describe(read.value()), codec_test::describe(root));
  EXPECT_EQ(compact(read.value()), written);
}

// Texts past the writer's limit are quoted by the writer itself, not by rapidjson, which counts
// their room in 32 bits. With the limit at 0 every key and string takes that way: the text must
// be byte for byte what rapidjson writes, compact and pretty, in objects, arrays and at the root.
TEST(JsonWriter, TextsPastTheLimitAreWrittenAsRapidjsonWritesThem) {
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte.push_back(static_cast<char>(byte));
  BindingProperty root;
  root.member(everyByte).setString(everyByte);
  root.member("").setString("");
  BindingProperty& list = root.member("list");
  list.append().setString("plain");
  list.append().setSigned(7);
  list.append().setBlob(reinterpret_cast<const std::uint8_t*>(everyByte.data()), 200);
  BindingProperty& nested = list.append().member("\"quoted\"");
  nested.member("a").setString(std::string(9000, '\\'));
  nested.member("b").setBool(false);
  BindingProperty text;
  text.setString(everyByte + everyByte);
  for (const char* lineBreak : {static_cast<const char*>(nullptr), "\n", "\r\n"}) {
    for (const BindingProperty* value : {&root, &text}) {
      const String expected = writeJson(*value, nullptr, lineBreak);
      const String written =
          serialization_internal::writeJsonWithLongTexts(*value, nullptr, lineBreak, 0);
      EXPECT_EQ(std::string_view(written), std::string_view(expected))
          << (lineBreak == nullptr ? "compact" : "pretty");
    }
  }
  const String written = serialization_internal::writeJsonWithLongTexts(root, nullptr, nullptr, 0);
  const BindingResult read = parseJson(written.data(), written.size());
  ASSERT_TRUE(read.ok()) << read.error();
  const BindingProperty* member = read.value().findMember(everyByte);
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->getString(), everyByte);
}

// The text is written into the string it is returned in, which grows as it goes: every length
// around its first room and its later steps comes out exactly, with nothing of the room left
// over, whether the last thing written is a number (written in place, then cut back) or a text.
TEST(JsonWriter, TextsOfEveryLengthAroundTheRoomComeOutExactly) {
  BindingProperty numbers;
  std::string expected = "[";
  for (unsigned index = 0; index < 9000; ++index) {
    numbers.append().setUnsigned(index);
    expected += (index == 0 ? "" : ",") + std::to_string(index);
    if (index < 700 || index % 97 == 0) {
      ASSERT_EQ(compact(numbers), expected + "]") << index;
    }
  }
  BindingProperty texts;
  expected = "[";
  for (int index = 0; index < 300; ++index) {
    const std::string text(static_cast<std::size_t>(index * 7 % 61), 'q');
    texts.append().setString(text);
    expected += (index == 0 ? "\"" : ",\"") + text + "\"";
    const String written = writeJson(texts);
    ASSERT_EQ(std::string(written.data(), written.size()), expected + "]") << index;
  }
  EXPECT_EQ(pretty(texts, "\r\n").find('\0'), std::string::npos);
}

TEST(JsonWriter, KeysAreWrittenInByteOrder) {
  const BindingResult read = parseJson("{\"b\": 1, \"a\": 2, \"_\": {\"z\": 0, \"Z\": 0}}");
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(compact(read.value()), "{\"_\":{\"Z\":0,\"z\":0},\"a\":2,\"b\":1}");
}

enum class Shade : std::int32_t { kLight = 1, kDark = 2 };

TEST(JsonWriter, EnumsAreNamedThroughTheRegistry) {
  static const BindingTypeInfo kShadeInfo{0x5EED0001u, "codec_test::Shade"};
  BindingRegistry registry;
  registry.registerType(4, "Shade", kShadeInfo, true)
      .addEnumerator("Light", 1)
      .addEnumerator("Dark", 2)
      .addEnumerator("Also", 2);
  BindingProperty list;
  list.append().setEnum(2, kShadeInfo.identifier);
  list.append().setEnum(7, kShadeInfo.identifier);
  list.append().setEnum(1, 0x5EED0002u);
  EXPECT_EQ(compact(list, &registry), "[\"Also\",7,1]");
  EXPECT_EQ(compact(list), "[2,7,1]");
}

TEST(JsonWriter, PrettyFormIndentsFourSpacesWithTheGivenLineBreak) {
  BindingProperty root;
  root.member("items").append().setUnsigned(1);
  EXPECT_EQ(pretty(root, "\r\n"), "{\r\n    \"items\": [\r\n        1\r\n    ]\r\n}");
  EXPECT_EQ(pretty(root, "\n"), "{\n    \"items\": [\n        1\n    ]\n}");
  // An empty line break means compact.
  EXPECT_EQ(pretty(root, ""), "{\"items\":[1]}");
  BindingProperty empties;
  empties.member("a").makeCollection();
  empties.member("b").makeStructure();
  empties.member("c").setString("x\ny");
  EXPECT_EQ(pretty(empties, "\r\n"),
            "{\r\n    \"a\": [],\r\n    \"b\": {},\r\n    \"c\": \"x\\ny\"\r\n}");
}

TEST(JsonWriter, ParsedTreesSurviveARoundTrip) {
  const char* text =
      "{\"items\":[{\"key\":{\"id\":5,\"type\":\"GAME\"},\"prices\":[1.5,-2,0.0,"
      "18446744073709551615],\"sale\":null,\"name\":\"\\u0000\\\"\"}],\"flag\":false}";
  const BindingResult first = parseJson(text);
  ASSERT_TRUE(first.ok());
  const String written = writeJson(first.value());
  const BindingResult second = parseJson(written.c_str());
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(codec_test::describe(second.value()), codec_test::describe(first.value()));
}

TEST(JsonWriter, MinusZeroReadsAsSignedZeroAndWritesAsZero) {
  // Found by fuzzing the round trip: the text changes kind from signed to unsigned, not value.
  const BindingResult first = parseJson("[-0, -0.0]");
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(codec_test::describe(first.value()), "[s0,f-0]");
  EXPECT_EQ(compact(first.value()), "[0,-0.0]");
  EXPECT_EQ(codec_test::describe(parseJson(compact(first.value()).c_str()).value()), "[u0,f-0]");
}

// The reader's and writer's buffers start as reallocations of nothing; the process's counters
// must see each as one block that comes and goes, so live blocks and bytes return to the start.
TEST(JsonCodecMemory, ManyParsesAndWritesLeaveTheCountersWhereTheyStarted) {
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  const std::string body =
      R"({"items":[{"itemKey":{"inventoryType":"COMPANION","itemId":101},"quantity":1},)"
      R"({"itemKey":{"inventoryType":"SKIN","itemId":7},"quantity":3}],"note":")" +
      std::string(300, 'x') + "\"}";
  for (int i = 0; i < 300; ++i) {
    const BindingResult parsed = parseJson(body.c_str());
    ASSERT_TRUE(parsed.ok()) << i;
    const String compactText = writeJson(parsed.value(), nullptr);
    const String prettyText = writeJson(parsed.value(), nullptr, "\n");
    ASSERT_GT(prettyText.size(), compactText.size());
  }
  const AllocationSnapshot after = snapshot(processAllocationCounters());
  EXPECT_GT(after.allocations, before.allocations + 300);
  EXPECT_EQ(after.liveBlocks(), before.liveBlocks());
  EXPECT_EQ(after.bytesInUse(), before.bytesInUse());
  EXPECT_LE(after.liveBlocksAtPeak, after.allocations);
}

}  // namespace
}  // namespace tev
