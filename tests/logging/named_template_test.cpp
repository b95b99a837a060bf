#include "logging/named_template.h"

#include <gtest/gtest.h>

#include <string>

#include "logging/format_message.h"

namespace tev {
namespace {

struct Compiled {
  std::string text;
  FieldMap fields;
};

Compiled compile(const char* templateText, std::initializer_list<FieldValue> values) {
  Compiled out;
  String positional;
  compileNamedTemplate(templateText, values.begin(), values.size(), positional, out.fields);
  out.text.assign(positional.data(), positional.size());
  return out;
}

TEST(NamedTemplate, ErrorTemplateBecomesPositional) {
  const Compiled c = compile(
      "Error response for {method} {url}: {error}",
      {FieldValue::ofText("GET"), FieldValue::ofText("http://x/"), FieldValue::ofText("boom")});
  EXPECT_EQ(c.text, "Error response for %1 %2: %3");
  ASSERT_EQ(c.fields.size(), 3u);
  EXPECT_EQ(c.fields.at("method"), FieldValue::ofText("GET"));
  EXPECT_EQ(c.fields.at("error"), FieldValue::ofText("boom"));
}

TEST(NamedTemplate, PlaceholdersBeyondTheCountWriteNothing) {
  const Compiled three = compile(
      "{a} {b}", {FieldValue::ofSigned(1), FieldValue::ofSigned(2), FieldValue::ofSigned(3)});
  EXPECT_EQ(three.text, "%1 %2");
  EXPECT_EQ(three.fields.size(), 2u);
  const Compiled one = compile("{a} {b}", {FieldValue::ofSigned(1)});
  EXPECT_EQ(one.text, "%1 ");
  EXPECT_EQ(one.fields.size(), 1u);
  EXPECT_TRUE(one.fields.contains("a"));
}

TEST(NamedTemplate, SuffixFlagNamesFieldsByKind) {
  EXPECT_TRUE(compile("{#n}", {FieldValue::ofSigned(4)}).fields.contains("n_int"));
  EXPECT_TRUE(compile("{#n_time}", {FieldValue::ofSigned(4)}).fields.contains("n_time"));
  EXPECT_TRUE(compile("{#flag}", {FieldValue::ofBool(true)}).fields.contains("flag_bool"));
  EXPECT_TRUE(compile("{#ratio}", {FieldValue::ofDouble(0.5)}).fields.contains("ratio_float"));
  EXPECT_TRUE(compile("{#who}", {FieldValue::ofText("me")}).fields.contains("who_str"));
  EXPECT_TRUE(compile("{#my_name}", {FieldValue::ofText("me")}).fields.contains("my_name_str"));
  EXPECT_TRUE(compile("{#raw}", {FieldValue{}}).fields.contains("raw"));
}

TEST(NamedTemplate, AlternativeTextForEmptyValues) {
  const Compiled empty = compile("{x?none}", {FieldValue::ofText("")});
  EXPECT_EQ(empty.text, "none");
  EXPECT_TRUE(empty.fields.empty());
  const Compiled full = compile("{x?none}", {FieldValue::ofText("abc")});
  EXPECT_EQ(full.text, "%1");
  EXPECT_TRUE(full.fields.contains("x"));
  EXPECT_EQ(compile("{n?zero}", {FieldValue::ofUnsigned(0)}).text, "zero");
  EXPECT_EQ(compile("{b?no}", {FieldValue::ofBool(false)}).text, "no");
  EXPECT_EQ(compile("{d?nil}", {FieldValue::ofDouble(0.0)}).text, "nil");
}

TEST(NamedTemplate, HiddenPlaceholderTrimsAndRecords) {
  const Compiled c = compile("pre {!x}", {FieldValue::ofSigned(9)});
  EXPECT_EQ(c.text, "pre");
  EXPECT_TRUE(c.fields.contains("x"));
}

TEST(NamedTemplate, BracesAndFormats) {
  EXPECT_EQ(compile("{{a}}", {}).text, "{a}");
  EXPECT_EQ(compile("a}b", {}).text, "a}b");
  const Compiled formatted =
      compile("{a}{b}{count:5d}",
              {FieldValue::ofSigned(1), FieldValue::ofSigned(2), FieldValue::ofSigned(3)});
  EXPECT_EQ(formatted.text, "%1%2%3$5d");
  // After ':' everything is format text, '?' included; escapes collect special characters.
  EXPECT_EQ(compile("{a:x?y}", {FieldValue::ofSigned(1)}).text, "%1$x?y");
  EXPECT_TRUE(compile("{a\\!b}", {FieldValue::ofSigned(1)}).fields.contains("a!b"));
  EXPECT_EQ(compile("tail {open", {FieldValue::ofSigned(1)}).text, "tail ");
}

TEST(NamedTemplate, PrintfSpecificationsPassThroughAndConsumeNumbers) {
  const Compiled c = compile("%s={v} 100%%", {FieldValue::ofText("k"), FieldValue::ofSigned(5)});
  EXPECT_EQ(c.text, "%s=%2 100%%");
  EXPECT_TRUE(c.fields.contains("v"));
  // A specification numbered beyond the count is dropped; a number above the count reads as
  // a width, so the specification takes the next placeholder number instead.
  EXPECT_EQ(compile("a%sb", {}).text, "ab");
  EXPECT_EQ(compile("a%3$sb", {FieldValue::ofSigned(1)}).text, "a%3$sb");
}

TEST(NamedTemplate, CompiledTemplateFeedsFormatMessage) {
  String positional;
  FieldMap fields;
  const FieldValue values[] = {FieldValue::ofText("POST"), FieldValue::ofText("http://s/"),
                               FieldValue::ofText("timeout")};
  compileNamedTemplate("Error response for {method} {url}: {error}", values, 3, positional, fields);
  const String message =
      formatMessage(positional.c_str(), String("POST"), String("http://s/"), String("timeout"));
  EXPECT_EQ(std::string(message.c_str()), "Error response for POST http://s/: timeout");
}

}  // namespace
}  // namespace tev
