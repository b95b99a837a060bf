#include <gtest/gtest.h>

#include <string>

#include "serialization/yaml_reader.h"
#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

using codec_test::depthOf;
using codec_test::describe;
using codec_test::repeat;

std::string parsed(const std::string& text) {
  const BindingResult result = parseYaml(text.c_str());
  return result.ok() ? describe(result.value()) : "error: " + std::string(result.error());
}

TEST(YamlAliases, CopyTheAnchoredNodeAsItStandsWhenRead) {
  EXPECT_EQ(parsed("a: &x {b: 1}\nc: *x\n"), "{a:{b:u1},c:{b:u1}}");
  EXPECT_EQ(parsed("- &x 5\n- *x\n- [*x, *x]\n"), "[u5,u5,[u5,u5]]");
  EXPECT_EQ(parsed("- &s 'yes'\n- *s\n"), "[\"yes\",\"yes\"]");
  // The anchor names a place in the tree: a key set again later changes what it copies.
  EXPECT_EQ(parsed("a: &x [1]\nb: *x\na: [2]\nc: *x\n"), "{a:[u2],b:[u1],c:[u2]}");
  // A repeated key may alias its own earlier value.
  EXPECT_EQ(parsed("a: &x [1]\na: *x\n"), "{a:[u1]}");
  // The copy is independent of its source.
  EXPECT_EQ(parsed("a: &x [1]\nb: *x\na: 7\n"), "{a:u7,b:[u1]}");
}

TEST(YamlAliases, KeyAnchorsNameTheirKeyText) {
  EXPECT_EQ(parsed("&k name: 1\nother: *k\n"), "{name:u1,other:\"name\"}");
  // An alias where a key is expected is that key: a key anchor's text or a string node.
  EXPECT_EQ(parsed("&k name: 1\n*k : 2\n"), "{name:u2}");
  EXPECT_EQ(parsed("a: &s key\n*s : 3\n"), "{a:\"key\",key:u3}");
  EXPECT_EQ(parsed("a: &n 5\n*n : 3\n"),
            "error: Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1");
}

TEST(YamlAliases, ReportCyclesUndefinedNamesAndDuplicates) {
  const struct {
    const char* yaml;
    const char* expected;
  } rows[] = {
      {"a: &x\n  b: *x\n",
       "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 6"},
      {"&r [1, *r]", "error: Cannot deserialize cyclic aliases. Alias \"r\". At line: 1 col: 8"},
      // The path of a closed anchor that now leads to an open node is just as cyclic.
      {"a: &x 1\na:\n  b: *x\n",
       "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 3 col: 6"},
      {"a: *nope\n", "error: Undefined alias encountered: \"nope\". At line: 1 col: 4"},
      {"- *later\n- &later 1\n",
       "error: Undefined alias encountered: \"later\". At line: 1 col: 3"},
      {"a: &x 1\nb: &x 2\n", "error: Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"&x a: &x 1\n", "error: Duplicate occurrence of anchor \"x\". At line: 1 col: 7"},
      {"- &x [1]\n- &x {}\n", "error: Duplicate occurrence of anchor \"x\". At line: 2 col: 3"},
  };
  for (const auto& row : rows) EXPECT_EQ(parsed(row.yaml), row.expected) << row.yaml;
}

// The classic nested-alias document: a few hundred bytes that would expand to about 390 million
// nodes.
std::string aliasBomb() {
  std::string text =
      "a: &a [\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\"]\n";
  for (char level = 'b'; level <= 'i'; ++level) {
    const std::string alias = std::string("*") + static_cast<char>(level - 1);
    text += std::string(1, level) + ": &" + level + " [" + alias;
    for (int i = 0; i < 8; ++i) text += "," + alias;
    text += "]\n";
  }
  return text;
}

TEST(YamlAliases, TheNestedAliasBombIsRefusedWithLittleMemory) {
  const std::string bomb = aliasBomb();
  ASSERT_LT(bomb.size(), 400u);
  codec_test::HeapMeter meter;
  {
    const BindingResult result = parseYaml(bomb.c_str());
    EXPECT_EQ(result.error(),
              "Alias expansion exceeds 100000 nodes. Alias \"e\". At line: 6 col: 8");
  }
  EXPECT_LT(meter.peakBytes(), 10u * 1024u * 1024u);
}

TEST(YamlAliases, CopiesWithinTheBoundStillWork) {
  // The first four levels copy 8,289 nodes.
  std::string text = aliasBomb();
  text.resize(text.find("\ne:") + 1);
  const BindingResult result = parseYaml(text.c_str());
  ASSERT_TRUE(result.ok()) << result.error();
  const BindingProperty& d = result.value().getMember("d");
  EXPECT_EQ(d.size(), 9u);
  EXPECT_EQ(depthOf(d), 4u);
  EXPECT_EQ(d.getElement(8).getElement(8).getElement(8).getElement(8).getString(), "lol");
}

TEST(YamlAliases, TheBoundGrowsWithTheDocument) {
  // 30,000 scalars allow ten copied nodes per event read: about 300,000.
  const std::string list = "a: &a [" + repeat("1,", 29999) + "1]\nb: [";
  const BindingResult nine = parseYaml((list + repeat("*a,", 8) + "*a]\n").c_str());
  ASSERT_TRUE(nine.ok()) << nine.error();
  EXPECT_EQ(nine.value().getMember("b").getElement(8).size(), 30000u);
  const BindingResult twelve = parseYaml((list + repeat("*a,", 11) + "*a]\n").c_str());
  EXPECT_EQ(twelve.error().substr(0, 26), "Alias expansion exceeds 30");
}

TEST(YamlAliases, AKeyAliasedOverAndOverCountsItsBytes) {
  // A long key repeated through aliases costs time per use; the budget counts its length.
  const std::string key = "? &k " + std::string(64 * 1024, 'k') + "\n: 1\n";
  const std::string text = key + "list: [" + repeat("*k,", 200) + "*k]\n";
  EXPECT_EQ(parsed(text).substr(0, 37), "error: Alias expansion exceeds 100000");
  const std::string fewer = key + "list: [" + repeat("*k,", 50) + "*k]\n";
  const BindingResult result = parseYaml(fewer.c_str());
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(result.value().getMember("list").size(), 51u);
}

std::string nestedAlias(std::size_t anchoredLevels, std::size_t aliasLevels) {
  return "a: &x " + repeat("[", anchoredLevels) + repeat("]", anchoredLevels) +
         "\nb: " + repeat("[", aliasLevels) + "*x" + repeat("]", aliasLevels) + "\n";
}

TEST(YamlAliases, ADeepAliasMayNotPassTheNestingLimit) {
  // The root mapping, 27 lists and the copied 100 levels make exactly 128.
  const BindingResult fits = parseYaml(nestedAlias(100, 27).c_str());
  ASSERT_TRUE(fits.ok()) << fits.error();
  EXPECT_EQ(depthOf(fits.value()), 128u);
  EXPECT_EQ(parsed(nestedAlias(100, 28)),
            "error: Nesting deeper than 128 levels. Alias \"x\". At line: 2 col: 32");
}

}  // namespace
}  // namespace tev
