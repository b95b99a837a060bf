#include "serialization/yaml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

using codec_test::describe;

std::string parsed(const std::string& text) {
  const BindingResult result = parseYaml(text.c_str());
  return result.ok() ? describe(result.value()) : "error: " + std::string(result.error());
}

struct Row {
  const char* yaml;
  const char* expected;
};

void expectRows(const Row* begin, const Row* end) {
  for (const Row* row = begin; row != end; ++row) {
    EXPECT_EQ(parsed(row->yaml), row->expected) << row->yaml;
  }
}

TEST(YamlReader, TypesPlainScalars) {
  const Row rows[] = {
      {"42", "u42"},
      {"-7", "s-7"},
      {"3.5", "f3.5"},
      {"0x10", "u16"},
      {"1e3", "u1000"},
      {".5", "f0.5"},
      {"-0", "u0"},
      {"12345678901234567891", "u12345678901234567168"},
      {"+5", "u5"},
      {"1e-400", "u0"},
      {"0.1e1", "u1"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"yes", "true"},
      {"Y", "true"},
      {"ON", "true"},
      {"Off", "false"},
      {"n", "false"},
      {"FALSE", "false"},
      {"~", "null"},
      {"null", "null"},
      {"Null", "null"},
      {"NULL", "null"},
      {"", "null"},
      {"nULL", "\"nULL\""},
      {"yES", "\"yES\""},
      {"inf", "\"inf\""},
      {"Infinity", "\"Infinity\""},
      {"1e999", "\"1e999\""},
      {"12abc", "\"12abc\""},
      {"hello world", "\"hello world\""},
      {"\"yes\"", "\"yes\""},
      {"'42'", "\"42\""},
      {"''", "\"\""},
      {"\"~\"", "\"~\""},
      // Block scalars are typed like plain ones, with their kept line breaks.
      {"|-\n  42\n", "u42"},
      {"|\n  42\n", "\"42\n\""},
      {">-\n  yes\n", "true"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, NumbersOutsideTheIntegerRangesStayFloat) {
  // Converting these to an integer would be undefined; they keep their double value.
  const Row rows[] = {
      {"18446744073709551616", "f1.8446744073709552e+19"},
      {"1e30", "f1e+30"},
      {"-1e30", "f-1e+30"},
      {"-inf", "f-inf"},
      {"-1e999", "f-inf"},
      {"nan", "fnan"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, HonoursTheFourCoreTags) {
  const Row rows[] = {
      {"!!str 42", "\"42\""},
      {"!!str", "\"\""},
      {"!!int 42", "u42"},
      {"!!int -42", "s-42"},
      {"!!int 0x1F", "u31"},
      {"!!int 012", "u10"},
      {"!!int 12x", "error: Value 12x for 'yaml' of type uint64_t is in an incorrect format"},
      {"!!int -12x", "error: Value -12x for 'yaml' of type int64_t is in an incorrect format"},
      {"!!int ''", "error: Value  for 'yaml' of type uint64_t is in an incorrect format"},
      {"!!int 18446744073709551616",
       "error: Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
      {"!!int -9223372036854775809",
       "error: Value -9223372036854775809 for 'yaml' of type int64_t is out of range"},
      {"!!int ' -5'", "error: Value  -5 for 'yaml' of type uint64_t is out of range"},
      {"!!float 1", "f1"},
      {"!!float -2.5e3", "f-2500"},
      {"!!float x1", "error: Value x1 for 'yaml' of type double is in an incorrect format"},
      {"!!float 1e999", "error: Value 1e999 for 'yaml' of type double is out of range"},
      {"!!bool yes", "true"},
      {"!!bool OFF", "false"},
      {"!!bool maybe", "null"},
      {"!custom x", "error: Unsupported YAML tag '!custom'."},
      {"!<tag:example.com,2000:x> 1", "error: Unsupported YAML tag 'tag:example.com,2000:x'."},
      {"!!map {a: 1}", "{a:u1}"},
      {"!!seq [1]", "[u1]"},
      {"a: !!binary aGk=", "error: Unsupported YAML tag 'tag:yaml.org,2002:binary'."},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, BuildsMappingsAndSequences) {
  const Row rows[] = {
      {"b: 1\na: [x, {c: ~}]\n", "{a:[\"x\",{c:null}],b:u1}"},
      {"- 1\n- - 2\n  - 3\n- k: v\n", "[u1,[u2,u3],{k:\"v\"}]"},
      {"{}", "{}"},
      {"[]", "[]"},
      // Keys are never typed.
      {"1: a\ntrue: b\n~: c\n'': d\n", "{:\"d\",1:\"a\",true:\"b\",~:\"c\"}"},
      {"!!str k: 1", "{k:u1}"},
      {"? a\n", "{a:null}"},
      // A repeated key replaces its member; containers are not merged.
      {"a: 1\na: 2\n", "{a:u2}"},
      {"a: [1]\na: [2]\n", "{a:[u2]}"},
      {"a: {x: 1}\na: {y: 2}\n", "{a:{y:u2}}"},
      {"a: {x: 1}\na: 3\n", "{a:u3}"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, RefusesKeysThatAreNotStrings) {
  const Row rows[] = {
      {"!!int 1: x",
       "error: Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {"a: 1\n[1, 2]: x\n", "error: Unexpected start of sequence. At line: 2 col: 1"},
      {"a:\n  {b: 1}: x\n", "error: Unexpected start of mapping. At line: 2 col: 3"},
      {"? - 1\n: x\n", "error: Unexpected start of sequence. At line: 1 col: 3"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, RefusesASecondDocumentWithContent) {
  const Row rows[] = {
      {"--- 1\n--- 2\n", "error: Multi-document YAML is not supported."},
      {"--- {a: 1}\n--- {}\n", "error: Multi-document YAML is not supported."},
      {"--- {}\n---\n", "error: Multi-document YAML is not supported."},
      {"---\n--- 2\n", "u2"},
      {"--- ~\n--- [1]\n", "[u1]"},
      {"--- 1\n...\n", "u1"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, ReportsLibyamlErrorsWithItsZeroBasedPosition) {
  const Row rows[] = {
      {"a: b: c",
       "error: YAML parser error: mapping values are not allowed in this context. "
       "At line: 0 col: 4"},
      {"a: [1, 2\n",
       "error: YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
      {"a: \"open\n",
       "error: YAML parser error: found unexpected end of stream. At line: 1 col: 0"},
      {"a: \x01",
       "error: YAML parser error: control characters are not allowed. At line: 0 col: 0"},
      {"a: \xC3", "error: YAML parser error: incomplete UTF-8 octet sequence. At line: 0 col: 0"},
      {"- a\nb: c\n",
       "error: YAML parser error: did not find expected '-' indicator. At line: 1 col: 0"},
  };
  expectRows(std::begin(rows), std::end(rows));
}

TEST(YamlReader, PointerAndLengthAreReadExactly) {
  const std::string text = "[1, 2]";
  std::vector<char> exact(text.begin(), text.end());
  EXPECT_EQ(describe(parseYaml(exact.data(), exact.size()).value()), "[u1,u2]");
  EXPECT_FALSE(parseYaml(exact.data(), 4).ok());
  const std::string withNul("a: 1\0b", 6);
  EXPECT_FALSE(parseYaml(withNul.data(), withNul.size()).ok());
  EXPECT_EQ(describe(parseYaml(nullptr).value()), "null");
  EXPECT_TRUE(parseYaml(nullptr, 3).ok());
}

TEST(LooksLikeYaml, OnlyBlanksMayPrecedeTheThreeDashes) {
  EXPECT_TRUE(looksLikeYaml("---"));
  EXPECT_TRUE(looksLikeYaml("  ---\na: 1"));
  EXPECT_TRUE(looksLikeYaml(std::string_view("--- x")));
  EXPECT_FALSE(looksLikeYaml("\t---"));
  EXPECT_FALSE(looksLikeYaml("--"));
  EXPECT_FALSE(looksLikeYaml(" - --"));
  EXPECT_FALSE(looksLikeYaml("a: 1"));
  EXPECT_FALSE(looksLikeYaml(""));
  EXPECT_FALSE(looksLikeYaml(static_cast<const char*>(nullptr)));
}

}  // namespace
}  // namespace tev
