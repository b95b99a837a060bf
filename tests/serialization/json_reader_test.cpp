#include "serialization/json_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/binding_arena.h"
#include "serialization/internal/json_reader_paths.h"
#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

using codec_test::describe;

std::string parsed(const std::string& text) {
  const BindingResult result = parseJson(text.c_str());
  return result.ok() ? describe(result.value()) : "error: " + std::string(result.error());
}

TEST(JsonReader, NumbersMapByFormAndRange) {
  EXPECT_EQ(parsed("[1, -1, 1.0, 18446744073709551615, 18446744073709551616]"),
            "[u1,s-1,f1,u18446744073709551615,f1.8446744073709552e+19]");
  EXPECT_EQ(parsed("[-9223372036854775808, -9223372036854775809, -0, 0, 1e2, 4294967296]"),
            "[s-9223372036854775808,f-9.2233720368547758e+18,s0,u0,f100,u4294967296]");
}

TEST(JsonReader, ConvertsNumbersWithNormalPrecision) {
  // rapidjson's default conversion, not the correctly rounded one: the fuzzed round trip of this
  // subnormal number moves by one unit in the last place.
  EXPECT_EQ(parsed("[1721.130e-312, 0.1, 1e-300, 123456789012345678e-10]"),
            "[f1.7211300000000023e-309,f0.10000000000000001,f1e-300,"
            "f12345678.901234567]");
}

TEST(JsonReader, BuildsEveryKind) {
  EXPECT_EQ(parsed("null"), "null");
  EXPECT_EQ(parsed(" {\"t\": true, \"f\": false, \"n\": null, \"s\": \"x\\ty\", \"a\": [[], {}]} "),
            "{a:[[],{}],f:false,n:null,s:\"x\ty\",t:true}");
  EXPECT_EQ(parsed("[\"\\u00e9\\ud83d\\ude00\"]"), "[\"\xC3\xA9\xF0\x9F\x98\x80\"]");
}

TEST(JsonReader, KeepsNulBytesEscapedInStrings) {
  const BindingResult result = parseJson("\"a\\u0000b\"");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.value().getString(), std::string_view("a\0b", 3));
}

TEST(JsonReader, MembersComeOutInByteOrderAndARepeatedKeyReplaces) {
  EXPECT_EQ(parsed("{\"b\": 1, \"a\": 2, \"B\": 3, \"\xC3\xA9\": 4}"),
            "{B:u3,a:u2,b:u1,\xC3\xA9:u4}");
  EXPECT_EQ(parsed("{\"a\": 1, \"a\": 2}"), "{a:u2}");
  // The later container replaces the earlier one; the two are not merged.
  EXPECT_EQ(parsed("{\"a\": [1, 2], \"a\": [3]}"), "{a:[u3]}");
  EXPECT_EQ(parsed("{\"a\": {\"x\": 1}, \"a\": {\"y\": 2}}"), "{a:{y:u2}}");
  EXPECT_EQ(parsed("{\"a\": [1], \"a\": null}"), "{a:null}");
}

struct ErrorRow {
  const char* json;
  const char* message;
};

TEST(JsonReader, ReportsRapidjsonMessagesWithOffsets) {
  const ErrorRow rows[] = {
      {"", "Error: The document is empty. at offset 0."},
      {"  ", "Error: The document is empty. at offset 2."},
      {" \t\r\n", "Error: The document is empty. at offset 4."},
      {"{} x", "Error: The document root must not be followed by other values. at offset 3."},
      {"1 2", "Error: The document root must not be followed by other values. at offset 2."},
      {"nul", "Error: Invalid value. at offset 3."},
      {"[1,]", "Error: Invalid value. at offset 3."},
      {"NaN", "Error: Invalid value. at offset 0."},
      {"[Infinity]", "Error: Invalid value. at offset 1."},
      {"// c\n1", "Error: Invalid value. at offset 0."},
      {"{1:2}", "Error: Missing a name for object member. at offset 1."},
      {"{\"a\" 1}", "Error: Missing a colon after a name of object member. at offset 5."},
      {"{\"a\":1 \"b\":2}", "Error: Missing a comma or '}' after an object member. at offset 7."},
      {"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
      {"\"\\u12G4\"", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
      {"\"\\ud800x\"", "Error: The surrogate pair in string is invalid. at offset 1."},
      {"\"\\q\"", "Error: Invalid escape character in string. at offset 1."},
      {"\"abc", "Error: Missing a closing quotation mark in string. at offset 4."},
      {"1e400", "Error: Number too big to be stored in double. at offset 0."},
      // rapidjson alone would turn these into infinity (found by fuzzing the round trip).
      {"18446744076744e+300", "Error: Number too big to be stored in double. at offset 0."},
      {"[0.7, -18446744076744e+300]", "Error: Number too big to be stored in double. at offset 6."},
      {"1.", "Error: Miss fraction part in number. at offset 2."},
      {"1e", "Error: Miss exponent in number. at offset 2."},
  };
  for (const ErrorRow& row : rows) {
    const BindingResult result = parseJson(row.json);
    EXPECT_FALSE(result.ok()) << row.json;
    EXPECT_EQ(result.error(), row.message) << row.json;
    // A failed parse keeps nothing of the partial tree: only {"error": text}.
    EXPECT_EQ(result.value().size(), 1u) << row.json;
  }
}

TEST(JsonReader, NullTextIsAnEmptyDocument) {
  EXPECT_EQ(parseJson(nullptr).error(), "Error: The document is empty. at offset 0.");
  EXPECT_EQ(parseJson(nullptr, 5).error(), "Error: The document is empty. at offset 0.");
}

TEST(JsonReader, PointerAndLengthNeverReadPastTheLength) {
  // No terminator after the bytes: AddressSanitizer would catch a read past them.
  const std::string text = "[1,2]";
  std::vector<char> exact(text.begin(), text.end());
  BindingResult whole = parseJson(exact.data(), exact.size());
  EXPECT_EQ(describe(whole.value()), "[u1,u2]");

  std::vector<char> cut(text.begin(), text.begin() + 3);  // "[1,"
  EXPECT_EQ(parseJson(cut.data(), cut.size()).error(), "Error: Invalid value. at offset 3.");
  std::vector<char> number = {'1', '2'};
  EXPECT_EQ(describe(parseJson(number.data(), number.size()).value()), "u12");
  std::vector<char> key = {'{', '"', 'a'};
  EXPECT_EQ(parseJson(key.data(), key.size()).error(),
            "Error: Missing a closing quotation mark in string. at offset 3.");
}

TEST(JsonReader, PointerAndLengthStopAtTheFirstNul) {
  const std::string text("[1] \0 garbage", 13);
  EXPECT_EQ(describe(parseJson(text.data(), text.size()).value()), "[u1]");
  const std::string broken("[1\0]", 4);
  EXPECT_EQ(parseJson(broken.data(), broken.size()).error(),
            "Error: Missing a comma or ']' after an array element. at offset 2.");
  EXPECT_EQ(parseJson(text.data(), 0).error(), "Error: The document is empty. at offset 0.");
}

TEST(JsonReader, CopiedAndInPlaceReadingAgree) {
  // Short bytes are parsed from a terminated copy, long ones in place; both must give the same
  // trees, messages and offsets, at the end of the bytes and at a NUL inside them alike.
  const std::vector<std::string> texts = {"",
                                          " ",
                                          "1",
                                          "-1",
                                          "1.0",
                                          "18446744073709551615",
                                          "18446744073709551616",
                                          "1e400",
                                          "[1,2]",
                                          "[1,",
                                          "[1,2",
                                          "{\"a\"",
                                          "{\"a\":",
                                          "{\"b\":[true,null],\"a\":\"x\"}",
                                          "\"unterminated",
                                          "\"bad \\u12\"",
                                          "[1] 2",
                                          "[1] ",
                                          std::string("[1]\0[", 5),
                                          std::string("[\0]", 3),
                                          "tru",
                                          "nul",
                                          "{\"a\":1,}",
                                          "[" + std::string(129, '[')};
  for (const std::string& text : texts) {
    const BindingResult copied = serialization_internal::parseJsonCopied(text.data(), text.size());
    const BindingResult inPlace =
        serialization_internal::parseJsonInPlace(text.data(), text.size());
    EXPECT_EQ(copied.ok(), inPlace.ok()) << text;
    EXPECT_EQ(copied.error(), inPlace.error()) << text;
    EXPECT_EQ(describe(copied.value()), describe(inPlace.value())) << text;
  }
}

TEST(JsonReader, TextsOfEveryLengthReadBackWhateverTheirPlaceInTheBytes) {
  // The copied and the in-place reader must agree on texts of every length that end anywhere in
  // a 16-byte block: before and after an escape that makes the decoded text shorter than its
  // source, cut off at the end of the bytes, or holding a control character. Every control
  // character is refused, 0x1A to 0x1F too: rapidjson's own vector scan of texts
  // (RAPIDJSON_SSE2) lets those through.
  for (std::size_t length = 0; length < 40; ++length) {
    std::string plain;
    for (std::size_t i = 0; i < length; ++i) plain += static_cast<char>('a' + i % 26);
    const std::string control(1, static_cast<char>(length % 32));
    const std::string texts[] = {
        "[\"" + plain + "\"]",
        "[\"\\n" + plain + "\",\"" + plain + "\"]",
        "{\"" + plain + "\":\"\\u0041" + plain + "\"}",
        "[\"" + plain,
        "[\"" + plain + control + "\"]",
    };
    for (const std::string& text : texts) {
      for (std::size_t shift = 0; shift < 16; ++shift) {
        // The bytes start at every place in a block, with nothing readable after them.
        std::vector<char> bytes(shift + text.size());
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(shift));
        const char* data = bytes.data() + shift;
        const BindingResult copied = serialization_internal::parseJsonCopied(data, text.size());
        const BindingResult inPlace = serialization_internal::parseJsonInPlace(data, text.size());
        ASSERT_EQ(copied.error(), inPlace.error()) << text;
        ASSERT_EQ(describe(copied.value()), describe(inPlace.value())) << text;
      }
    }
    const BindingResult escaped = parseJson(texts[1].data(), texts[1].size());
    ASSERT_TRUE(escaped.ok()) << texts[1];
    EXPECT_EQ(escaped.value().getElement(0).getString(), "\n" + plain);
    EXPECT_EQ(escaped.value().getElement(1).getString(), plain);
    EXPECT_EQ(parseJson(texts[3].data(), texts[3].size()).error(),
              "Error: Missing a closing quotation mark in string. at offset " +
                  std::to_string(texts[3].size()) + ".");
    EXPECT_FALSE(parseJson(texts[4].data(), texts[4].size()).ok())
        << "control character " << static_cast<int>(control[0]);
  }
}

TEST(JsonReader, TextsKeepEveryByteAroundTheBytesThatEndAPlainRun) {
  // The readers skip plain runs a block at a time: every byte at every place in a block must come
  // out as it went in, and the first quote, backslash or control character must end the run
  // there. DEL, bytes of 0x80 and up, and those next to a control character are plain.
  const std::string around[] = {"\x7f", "\xc3\xa9", " ", "!", "#", "[", "]", "\xff"};
  for (std::size_t before = 0; before < 20; ++before) {
    for (const std::string& plain : around) {
      const std::string head(before, 'x');
      const std::string text = head + plain + "\\\"" + plain + "\\u00e9" + head;
      const std::string json = "{\"" + head + plain + "\":\"" + text + "\"}";
      for (const bool inPlace : {false, true}) {
        const BindingResult result =
            inPlace ? serialization_internal::parseJsonInPlace(json.data(), json.size())
                    : serialization_internal::parseJsonCopied(json.data(), json.size());
        ASSERT_TRUE(result.ok()) << json << ": " << result.error();
        EXPECT_EQ(result.value().getMember(head + plain).getString(),
                  head + plain + "\"" + plain + "\xc3\xa9" + head)
            << json;
      }
      const std::string refused = "[\"" + head + plain + "\x1f" + plain + "\"]";
      EXPECT_EQ(parseJson(refused.data(), refused.size()).error(),
                "Error: Invalid escape character in string. at offset " +
                    std::to_string(2 + before + plain.size()) + ".");
    }
  }
}

// Bodies with many texts new to the tree, read both ways: the copied reader sets string members
// a few texts after it meets them.
std::string manyNewTexts(int records) {
  std::string body = "{\"items\":[";
  for (int i = 0; i < records; ++i) {
    if (i != 0) body += ',';
    const std::string n = std::to_string(i);
    // The note is longer than arena blocks hold, so interning it takes a heap block.
    body += "{\"name\":\"item " + n + "\",\"note\":\"" + std::string(80, 'a' + i % 26) + n +
            "\",\"tags\":[\"t" + n + "\"],\"name\":\"again " + n + "\",\"note\":{\"n\":\"" + n +
            "\"},\"last\":\"\\u00e9" + n + "\"}";
  }
  return body + "]}";
}

TEST(JsonReader, TextsSetLateLandWhereTheyBelongAndARepeatedKeyStillReplaces) {
  const std::string body = manyNewTexts(60);
  const BindingResult copied = serialization_internal::parseJsonCopied(body.data(), body.size());
  const BindingResult inPlace = serialization_internal::parseJsonInPlace(body.data(), body.size());
  ASSERT_TRUE(copied.ok()) << copied.error();
  EXPECT_EQ(describe(copied.value()), describe(inPlace.value()));
  const BindingProperty& record = copied.value().getMember("items").getElement(59);
  EXPECT_EQ(record.getMember("name").getString(), "again 59");
  EXPECT_EQ(record.getMember("note").getMember("n").getString(), "59");
  EXPECT_EQ(record.getMember("tags").getElement(0).getString(), "t59");
  EXPECT_EQ(record.getMember("last").getString(),
            "\xc3\xa9"
            "59");
  // A text replaced before it is set, by a text, the empty text, a container or null.
  for (const char* replacement : {"\"y\"", "\"\"", "{\"b\":\"z\"}", "[\"q\"]", "null", "7"}) {
    std::string text = "{";
    for (int i = 0; i < 20; ++i)
      text += "\"k" + std::to_string(i) + "\":\"v" + std::to_string(i) + "\",";
    text += "\"a\":\"x\",\"k3\":" + std::string(replacement) + ",\"a\":" + replacement + "}";
    for (const auto read :
         {serialization_internal::parseJsonCopied, serialization_internal::parseJsonInPlace}) {
      const BindingResult result = read(text.data(), text.size());
      ASSERT_TRUE(result.ok()) << text;
      EXPECT_EQ(describe(result.value()), parsed(text)) << text;
      EXPECT_EQ(result.value().getMember("k19").getString(), "v19");
    }
  }
}

// Fails the allocation numbered `failingAllocation` (from 0) and no other: the reader must turn
// the failure into its error, for which it needs memory again.
std::size_t allocationsMade = 0;
std::size_t failingAllocation = 0;
void* failOnce(std::size_t size, void* context) {
  if (allocationsMade++ == failingAllocation) return nullptr;
  return countingAllocate(size, context);
}

TEST(JsonReader, RunningOutOfMemoryAnywhereInABodyOfNewTextsFailsCleanly) {
  // Texts still waiting to be set when memory runs out must leave a tree that goes away whole:
  // the error is reported and every byte comes back.
  // 40 records are a body of 7 KB; 100 are past the size from which the tree is told to expect
  // texts, which is one allocation more that may fail.
  for (const int records : {40, 100}) {
    const std::string body = manyNewTexts(records);
    ASSERT_EQ(body.size() > 16u * 1024u, records == 100);
    const BindingResult full = parseJson(body.data(), body.size());
    ASSERT_TRUE(full.ok());
    const std::string expected = describe(full.value());
    AllocationCounters counters;
    const AllocatorHooks saved = allocatorHooks();
    std::size_t failures = 0;
    for (const auto read :
         {serialization_internal::parseJsonCopied, serialization_internal::parseJsonInPlace}) {
      bool completed = false;
      for (failingAllocation = 0; failingAllocation < 1000 && !completed; ++failingAllocation) {
        allocatorHooks() = AllocatorHooks{failOnce,           countingFree,
                                          countingReallocate, countingDuplicateText,
                                          countingBlockSize,  &counters};
        allocationsMade = 0;
        {
          const BindingResult result = read(body.data(), body.size());
          if (result.ok()) {
            completed = allocationsMade <= failingAllocation;
            EXPECT_EQ(describe(result.value()), expected)
                << "failing allocation " << failingAllocation;
          } else {
            ++failures;
            EXPECT_EQ(std::string(result.error()).rfind("Error: Out of memory at offset ", 0), 0u)
                << result.error();
          }
        }
        allocatorHooks() = saved;
        ASSERT_EQ(counters.bytesInUse.load(), 0) << "failing allocation " << failingAllocation;
      }
      EXPECT_TRUE(completed) << "every allocation of the parse failed once";
    }
    EXPECT_GT(failures, 80u);
  }
}

TEST(JsonReader, LargeBodiesReadAlikeWithManyTextsOrNone) {
  // From 16 KB on, a body's tree is told to expect texts in proportion to the body's size. That
  // must change nothing that is read, and cost a body without texts no table.
  const std::string texts = manyNewTexts(400);
  std::string numbers = "[";
  for (int i = 0; i < 10000; ++i) numbers += std::to_string(i) + ",";
  numbers += "0]";
  for (const std::string* body : {&texts, static_cast<const std::string*>(&numbers)}) {
    ASSERT_GT(body->size(), 16u * 1024u);
    const BindingResult copied =
        serialization_internal::parseJsonCopied(body->data(), body->size());
    const BindingResult inPlace =
        serialization_internal::parseJsonInPlace(body->data(), body->size());
    ASSERT_TRUE(copied.ok()) << copied.error();
    ASSERT_TRUE(inPlace.ok()) << inPlace.error();
    EXPECT_EQ(describe(copied.value()), describe(inPlace.value()));
    EXPECT_EQ(describe(copied.value()), parsed(*body));
  }
  const BindingResult read = parseJson(texts.data(), texts.size());
  const BindingProperty& record = read.value().getMember("items").getElement(399);
  EXPECT_EQ(record.getMember("name").getString(), "again 399");
  EXPECT_EQ(record.getMember("tags").getElement(0).getString(), "t399");
  EXPECT_EQ(parseJson(numbers.data(), numbers.size()).value().arena()->bucketCount(), 8u);
}

TEST(JsonReader, BytesPastTheCopyLimitAreReadWithoutACopy) {
  // Hostile input past the limit: refused at the nesting limit, with no copy of its bytes.
  const std::string text(serialization_internal::kJsonCopyLimit + 1, '[');
  codec_test::HeapMeter meter;
  const BindingResult result = parseJson(text.data(), text.size());
  EXPECT_EQ(result.error(), "Error: Nesting deeper than 128 levels at offset 128.");
  EXPECT_LT(meter.peakBytes(), 256u * 1024u);
}

TEST(JsonReader, ALengthNoCopyCanHoldIsRefusedUnread) {
  // A length that leaves no room for the copy's terminator fails before anything is read.
  const char text[] = "[1]";
  EXPECT_EQ(serialization_internal::parseJsonCopied(text, SIZE_MAX).error(),
            "Error: Out of memory at offset 0.");
}

TEST(LooksLikeJson, OnlyBlanksMayPrecedeTheBracket) {
  EXPECT_TRUE(looksLikeJson("{}"));
  EXPECT_TRUE(looksLikeJson("   [1]"));
  EXPECT_TRUE(looksLikeJson(std::string_view("  {")));
  EXPECT_FALSE(looksLikeJson("\t{}"));
  EXPECT_FALSE(looksLikeJson("\n[1]"));
  EXPECT_FALSE(looksLikeJson("\"text\""));
  EXPECT_FALSE(looksLikeJson("   "));
  EXPECT_FALSE(looksLikeJson(""));
  EXPECT_FALSE(looksLikeJson(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(looksLikeJson(std::string_view("  ")));
}

}  // namespace
}  // namespace tev
