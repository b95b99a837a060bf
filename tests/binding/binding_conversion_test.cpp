#include "binding/binding_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logging/format_message.h"
#include "registry_test_support.h"

namespace convtest {

// Fields whose names share long prefixes: every length up to past two 8-byte words, so that
// every way a name splits into the words members are compared in occurs.
struct SharedPrefixes {
  std::int32_t f1 = 0, f2 = 0, f3 = 0, f4 = 0, f5 = 0, f6 = 0, f7 = 0, f8 = 0, f9 = 0;
  std::int32_t f10 = 0, f11 = 0, f12 = 0, f13 = 0, f14 = 0, f15 = 0, f16 = 0, f17 = 0;
  std::int32_t highBytes = 0;
};

// A chain of record types, each holding the next: more types in one value than conversions
// remember the members of.
template <int N>
struct Level {
  Level<N + 1> next;
  std::int32_t value = 0;
};
template <>
struct Level<9> {
  std::int32_t value = 0;
};

}  // namespace convtest

TEV_BINDING_TYPE(convtest::SharedPrefixes);
TEV_BINDING_TYPE(convtest::Level<0>);
TEV_BINDING_TYPE(convtest::Level<1>);
TEV_BINDING_TYPE(convtest::Level<2>);
TEV_BINDING_TYPE(convtest::Level<3>);
TEV_BINDING_TYPE(convtest::Level<4>);
TEV_BINDING_TYPE(convtest::Level<5>);
TEV_BINDING_TYPE(convtest::Level<6>);
TEV_BINDING_TYPE(convtest::Level<7>);
TEV_BINDING_TYPE(convtest::Level<8>);
TEV_BINDING_TYPE(convtest::Level<9>);

namespace {

using regtest::boolValue;
using regtest::convertError;
using regtest::floatValue;
using regtest::signedValue;
using regtest::text;
using regtest::unsignedValue;
using tev::BindingProperty;

// One row of a numeric table: the input, the error expected ("" for success) and, on success,
// the converted value.
template <typename T>
struct NumberRow {
  BindingProperty input;
  std::string error;
  T expected{};
};

template <typename T>
void checkRows(const std::vector<NumberRow<T>>& rows) {
  for (const NumberRow<T>& row : rows) {
    T native{};
    EXPECT_EQ(convertError(row.input, native), row.error) << regtest::describe(row.input);
    if (row.error.empty()) {
      EXPECT_EQ(native, row.expected) << regtest::describe(row.input);
    }
  }
}

std::string outOfRange(const std::string& value, const std::string& type) {
  return "Value " + value + " for 'quantity' of type " + type + " is out of range";
}
std::string badFormat(const std::string& value, const std::string& type) {
  return "Value " + value + " for 'quantity' of type " + type + " is in an incorrect format";
}

class BindingConversion : public ::testing::Test {
 protected:
  BindingConversion() { regtest::registerTestTypes(registry_); }
  tev::BindingRegistry registry_;
};

TEST(BindingNumberConversion, SignedTargetsParseTextInBaseZeroAndCheckTheirRange) {
  checkRows<std::int32_t>({
      {text("0x1F"), "", 31},
      {text("012"), "", 10},
      {text("  -42"), "", -42},
      {text("12abc"), badFormat("12abc", "int32")},
      {text("12 "), badFormat("12 ", "int32")},
      {text(""), badFormat("", "int32")},
      // The text holds a NUL byte; the message shows it up to there.
      {text(std::string("12\0x", 4)), badFormat("12", "int32")},
      {text("2147483648"), outOfRange("2147483648", "int32")},
      {text("99999999999999999999"), outOfRange("99999999999999999999", "int32")},
      {signedValue(-2147483648LL), "", INT32_MIN},
      {signedValue(-2147483649LL), outOfRange("-2147483649", "int32")},
      {unsignedValue(2147483647u), "", INT32_MAX},
      {unsignedValue(2147483648u), outOfRange("2147483648", "int32")},
      {unsignedValue(18446744073709551615u), outOfRange("18446744073709551615", "int32")},
      {floatValue(2.9), "", 2},
      {floatValue(-2.9), "", -2},
      {floatValue(2147483647.5), outOfRange("2.14748e+09", "int32")},
  });
  checkRows<std::int8_t>({
      {signedValue(127), "", 127},
      {signedValue(128), outOfRange("128", "int8")},
      {signedValue(-129), outOfRange("-129", "int8")},
      {unsignedValue(127u), "", 127},
      {unsignedValue(128u), outOfRange("128", "int8")},
      {text("-128"), "", -128},
      {text("0x80"), outOfRange("0x80", "int8")},
  });
  checkRows<std::int64_t>({
      {unsignedValue(9223372036854775807u), "", INT64_MAX},
      {unsignedValue(9223372036854775808u), outOfRange("9223372036854775808", "int64")},
      {text("-9223372036854775808"), "", INT64_MIN},
      {text("9223372036854775808"), outOfRange("9223372036854775808", "int64")},
      // 2^63 passes a plain "f <= max" test because max rounds up to it as a double.
      {floatValue(9223372036854775808.0), outOfRange("9.22337e+18", "int64")},
      {floatValue(-9223372036854775808.0), "", INT64_MIN},
  });
}

TEST(BindingNumberConversion, UnsignedTargetsRefuseEveryNegativeInput) {
  checkRows<std::uint32_t>({
      {unsignedValue(4294967295u), "", UINT32_MAX},
      {unsignedValue(4294967296u), outOfRange("4294967296", "uint32")},
      {signedValue(-1), outOfRange("-1", "uint32")},
      {signedValue(4294967295), "", UINT32_MAX},
      {signedValue(4294967296), outOfRange("4294967296", "uint32")},
      {signedValue(INT64_MIN), outOfRange("-9223372036854775808", "uint32")},
      {floatValue(-0.5), outOfRange("-0.5", "uint32")},
      {floatValue(7.99), "", 7u},
      {text("0x10"), "", 16u},
  });
  checkRows<std::uint64_t>({
      {signedValue(INT64_MAX), "", 9223372036854775807u},
      {signedValue(-1), outOfRange("-1", "uint64")},
      {text("-1"), outOfRange("-1", "uint64")},
      {text(" -1"), outOfRange(" -1", "uint64")},
      {text("-x"), badFormat("-x", "uint64")},
      {text("18446744073709551615"), "", UINT64_MAX},
      {text("18446744073709551616"), outOfRange("18446744073709551616", "uint64")},
      {floatValue(18446744073709551616.0), outOfRange("1.84467e+19", "uint64")},
  });
  checkRows<std::uint8_t>({
      {signedValue(255), "", 255},
      {signedValue(256), outOfRange("256", "uint8")},
      {unsignedValue(256u), outOfRange("256", "uint8")},
      {text("255"), "", 255},
      {text("256"), outOfRange("256", "uint8")},
  });
}

TEST(BindingNumberConversion, FloatingTargetsUseTheirOwnRange) {
  checkRows<float>({
      {floatValue(1.5), "", 1.5f},
      {floatValue(1e39), outOfRange("1e+39", "float")},
      {text("1e39"), outOfRange("1e39", "float")},
      {signedValue(-3), "", -3.0f},
  });
  checkRows<double>({
      {text("2.5"), "", 2.5},
      {text("1e-400"), "", 0.0},  // an underflow is not out of range
      {text("1e400"), outOfRange("1e400", "double")},
      {text("abc"), badFormat("abc", "double")},
      {text("1.5x"), badFormat("1.5x", "double")},
      {unsignedValue(18446744073709551615u), "", 18446744073709551615.0},
  });
}

TEST(BindingNumberConversion, WrongKindsAndEmptyInputsAreNamed) {
  std::int32_t number = 5;
  EXPECT_EQ(convertError(BindingProperty(), number), "A value for 'quantity' is required.");
  EXPECT_EQ(convertError(boolValue(true), number),
            "Couldn't assign value to 'quantity' of type int32 because the input is of an "
            "invalid type bool.");
  BindingProperty collection;
  collection.makeCollection();
  double real = 0;
  EXPECT_EQ(convertError(collection, real),
            "Couldn't assign value to 'quantity' of type double because the input is of an "
            "invalid type collection.");
  EXPECT_EQ(number, 5) << "a failed conversion leaves the target alone";
}

TEST(BindingNumberConversion, HugeTextsFailWithABoundedMessage) {
  const std::string digits(1 << 20, '7');
  std::int32_t number = 0;
  const std::string error = convertError(text(digits), number);
  EXPECT_EQ(error.rfind("Value 7777", 0), 0u);
  EXPECT_LE(error.size(), tev::kMessageLimit);
}

TEST(BindingBoolConversion, AcceptsExactlyFourTexts) {
  bool flag = false;
  EXPECT_EQ(convertError(text("true"), flag), "");
  EXPECT_TRUE(flag);
  EXPECT_EQ(convertError(text("0"), flag), "");
  EXPECT_FALSE(flag);
  EXPECT_EQ(convertError(text("1"), flag), "");
  EXPECT_TRUE(flag);
  EXPECT_EQ(convertError(text("TRUE"), flag),
            "Value TRUE for 'quantity' of type bool is in an incorrect format. Options are "
            "\"true\", \"false\", \"1\", \"0\".");
  EXPECT_EQ(convertError(unsignedValue(1), flag),
            "Couldn't assign value to 'quantity' of type bool because the input is of an "
            "invalid type unsigned.");
  EXPECT_EQ(convertError(BindingProperty(), flag), "A value for 'quantity' is required.");
}

TEST_F(BindingConversion, StringTargetsTakeTextsAndEnumeratorNamesOnly) {
  tev::String name;
  EXPECT_EQ(convertError(text("abc"), name), "");
  EXPECT_EQ(name, "abc");
  EXPECT_EQ(convertError(signedValue(5), name),
            "Couldn't assign value to 'quantity' because the input is not a string.");

  const std::uint32_t color = tev::bindingTypeInfo<regtest::Color>().identifier;
  BindingProperty enumValue;
  enumValue.setEnum(2, color);
  std::string standard;
  EXPECT_EQ(convertError(enumValue, standard, &registry_), "");
  EXPECT_EQ(standard, "Green");
  enumValue.setEnum(7, color);
  EXPECT_EQ(convertError(enumValue, standard, &registry_),
            "7 is not a valid enumeration value for 'quantity'.");
}

TEST_F(BindingConversion, EnumerationTargetsTakeNamesNumbersAndNumbersAsText) {
  regtest::Color color = regtest::Color::kRed;
  EXPECT_EQ(convertError(text("Green"), color, &registry_), "");
  EXPECT_EQ(color, regtest::Color::kGreen);
  EXPECT_EQ(convertError(signedValue(3), color, &registry_), "");
  EXPECT_EQ(color, regtest::Color::kAlsoGreen);
  EXPECT_EQ(convertError(text("0x1"), color, &registry_), "");
  EXPECT_EQ(color, regtest::Color::kRed);
  BindingProperty foreign;
  foreign.setEnum(2, 0xABCDEF01u);  // any enumeration's value counts
  EXPECT_EQ(convertError(foreign, color, &registry_), "");
  EXPECT_EQ(color, regtest::Color::kGreen);

  EXPECT_EQ(convertError(text("Blue"), color, &registry_),
            "Blue is not a valid Color enumeration value for 'quantity'.");
  EXPECT_EQ(convertError(text("green"), color, &registry_),
            "green is not a valid Color enumeration value for 'quantity'.");
  EXPECT_EQ(convertError(text("9"), color, &registry_),
            "9 is not a valid Color enumeration value for 'quantity'.");
  EXPECT_EQ(convertError(signedValue(4), color, &registry_),
            "4 is not a valid Color enumeration value for 'quantity'.");
  // 2^32 + 2 must not wrap around to Green.
  EXPECT_EQ(convertError(unsignedValue(4294967298u), color, &registry_),
            "4294967298 is not a valid Color enumeration value for 'quantity'.");
  EXPECT_EQ(convertError(floatValue(2.0), color, &registry_),
            "Couldn't assign value to 'quantity' of enum type because the input is of an invalid "
            "type float.");
  EXPECT_EQ(convertError(BindingProperty(), color, &registry_),
            "A value for 'quantity' is required.");
  EXPECT_EQ(color, regtest::Color::kGreen);
}

TEST_F(BindingConversion, ObjectTargetsCopyAnyInputIncludingEmpty) {
  BindingProperty native = text("old");
  BindingProperty input;
  input.member("a").setSigned(1);
  EXPECT_EQ(convertError(input, native), "");
  EXPECT_EQ(regtest::describe(native), "{a:s1}");
  EXPECT_EQ(convertError(BindingProperty(), native), "");
  EXPECT_TRUE(native.isEmpty());
}

TEST_F(BindingConversion, ObjectTargetsCopyInputFromTheirOwnTree) {
  BindingProperty tree;
  tree.member("inner").member("a").setSigned(1);
  tree.member("other").setString("x");
  EXPECT_EQ(convertError(tree.getMember("inner"), tree), "");
  EXPECT_EQ(regtest::describe(tree), "{a:s1}") << "a descendant into its root";

  BindingProperty root;
  root.member("a").setSigned(2);
  root.member("copy").setString("old");
  EXPECT_EQ(convertError(root, root.member("copy")), "");
  EXPECT_EQ(root.getMember("a").getSigned(), 2);
  EXPECT_EQ(root.getMember("copy").getMember("a").getSigned(), 2) << "the root into a descendant";
  EXPECT_EQ(root.getMember("copy").getMember("copy").getString(), "old")
      << "the input as it was before the conversion";
}

TEST_F(BindingConversion, VectorsAreEmptiedFirstAndKeepDefaultsForEmptyElements) {
  tev::Vector<std::int32_t> numbers = {9, 9, 9, 9};
  BindingProperty input;
  input.element(0).setSigned(1);
  input.element(2).setString("3");
  EXPECT_EQ(convertError(input, numbers), "");
  EXPECT_EQ(numbers, (tev::Vector<std::int32_t>{1, 0, 3}));

  numbers = {9, 9};
  EXPECT_EQ(convertError(signedValue(1), numbers),
            "Couldn't assign value to 'quantity' of type vector because the input not a "
            "collection.");
  EXPECT_TRUE(numbers.empty());

  input.element(1).setString("x");
  EXPECT_EQ(convertError(input, numbers), badFormat("x", "int32"))
      << "elements are not numbered in messages";
  EXPECT_EQ(numbers, (tev::Vector<std::int32_t>{1, 0, 0})) << "stops at the first failure";

  std::vector<bool> flags;
  BindingProperty bools;
  bools.element(1).setBool(true);
  EXPECT_EQ(convertError(bools, flags), "");
  EXPECT_EQ(flags, (std::vector<bool>{false, true}));
}

TEST_F(BindingConversion, OptionalWrappersHoldNothingForEmptyInput) {
  std::optional<std::int32_t> maybe = 4;
  EXPECT_EQ(convertError(BindingProperty(), maybe), "");
  EXPECT_FALSE(maybe.has_value());
  EXPECT_EQ(convertError(text("12"), maybe), "");
  EXPECT_EQ(maybe, 12);
  EXPECT_EQ(convertError(text("x"), maybe), badFormat("x", "int32"));

  tev::BindingResult result;
  std::optional<std::int32_t> none;
  ASSERT_TRUE(tev::convertToValue(result, none, nullptr));
  EXPECT_TRUE(result.value().isEmpty());
  ASSERT_TRUE(tev::convertToValue(result, maybe, nullptr));
  EXPECT_EQ(regtest::describe(result.value()), "s12");
}

TEST_F(BindingConversion, AFailedConversionLeavesAnOptionalAsItWas) {
  std::optional<std::int32_t> none;
  EXPECT_EQ(convertError(text("x"), none), badFormat("x", "int32"));
  EXPECT_FALSE(none.has_value()) << "no default value left behind";

  // A record stops at its first failing field: fields before it would be half a value.
  BindingProperty input;
  input.member("id").setString("new");
  input.member("version").setString("x");
  const std::string versionError = "Value x for 'version' of type int32 is in an incorrect format";
  std::optional<regtest::Key> noKey;
  EXPECT_EQ(convertError(input, noKey, &registry_, "key"), versionError);
  EXPECT_FALSE(noKey.has_value());

  std::optional<regtest::Key> key = regtest::Key{"old", 1};
  EXPECT_EQ(convertError(input, key, &registry_, "key"), versionError);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->id, "old");
  EXPECT_EQ(key->version, 1);

  // A success still starts from the value held: members absent from the input keep theirs.
  BindingProperty versionOnly;
  versionOnly.member("version").setSigned(2);
  EXPECT_EQ(convertError(versionOnly, key, &registry_, "key"), "");
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->id, "old");
  EXPECT_EQ(key->version, 2);
}

BindingProperty minimalRecord() {
  BindingProperty input;
  input.member("count").setSigned(1);
  return input;
}

TEST_F(BindingConversion, RequiredFieldsMustBePresentAndNotNull) {
  regtest::Record record;
  BindingProperty input;
  input.member("quantity").setUnsigned(3);
  const std::string missing =
      "Couldn't assign value to 'record' of type TestRecord because the input structure "
      "doesn't have required field 'count'.";
  EXPECT_EQ(convertError(input, record, &registry_, "record"), missing);
  input.member("count");  // present but null
  EXPECT_EQ(convertError(input, record, &registry_, "record"), missing);
  input.member("count").setSigned(8);
  EXPECT_EQ(convertError(input, record, &registry_, "record"), "");
  EXPECT_EQ(record.count, 8);
  EXPECT_EQ(record.quantity, 3u);
}

TEST_F(BindingConversion, MissingOrNullOptionalFieldsLeaveTheNativeFieldAlone) {
  regtest::Record record;
  record.name = "kept";
  record.quantity = 77;
  record.note = "kept too";
  BindingProperty input = minimalRecord();
  input.member("name");  // null
  input.member("unknown").setSigned(1);
  EXPECT_EQ(convertError(input, record, &registry_, "record"), "");
  EXPECT_EQ(record.name, "kept");
  EXPECT_EQ(record.quantity, 77u);
  EXPECT_EQ(record.note, "kept too");
}

TEST_F(BindingConversion, MembersAreMatchedToFieldsWhateverKeysSurroundThem) {
  // Unknown keys before, between and after the fields, keys that are prefixes of field names
  // and field names that are prefixes of keys, and keys longer than eight bytes.
  BindingProperty input = minimalRecord();
  for (const char* unknown :
       {"", "A", "c", "coun", "countX", "keysAndMore", "nam", "zzzzzzzzzzzz"}) {
    input.member(unknown).setString("ignored");
  }
  input.member("name").setString("n");
  input.member("quantity").setUnsigned(9);
  input.member("numbers").element(0).setSigned(4);
  regtest::Record record;
  EXPECT_EQ(convertError(input, record, &registry_, "record"), "");
  EXPECT_EQ(record.count, 1);
  EXPECT_EQ(record.name, "n");
  EXPECT_EQ(record.quantity, 9u);
  EXPECT_EQ(record.numbers, (tev::Vector<std::int32_t>{4}));
  EXPECT_TRUE(record.keys.empty());
}

TEST_F(BindingConversion, MembersMatchFieldsByEveryByteOfTheirNames) {
  using convtest::SharedPrefixes;
  std::int32_t SharedPrefixes::*const fields[] = {
      &SharedPrefixes::f1,  &SharedPrefixes::f2,       &SharedPrefixes::f3,  &SharedPrefixes::f4,
      &SharedPrefixes::f5,  &SharedPrefixes::f6,       &SharedPrefixes::f7,  &SharedPrefixes::f8,
      &SharedPrefixes::f9,  &SharedPrefixes::f10,      &SharedPrefixes::f11, &SharedPrefixes::f12,
      &SharedPrefixes::f13, &SharedPrefixes::f14,      &SharedPrefixes::f15, &SharedPrefixes::f16,
      &SharedPrefixes::f17, &SharedPrefixes::highBytes};
  // Names of 1 to 17 bytes, each the one before with a byte more, and one with UTF-8 in it.
  const std::string alphabet = "abcdefghijklmnopq";
  std::vector<std::string> names;
  for (std::size_t length = 1; length <= alphabet.size(); ++length) {
    names.push_back(alphabet.substr(0, length));
  }
  names.push_back("abcdefghijklmnop\xC3\xA9xy");
  auto builder = tev::registerBindingType<SharedPrefixes>(registry_, "SharedPrefixes");
  for (std::size_t i = 0; i < names.size(); ++i) {
    tev::addBindingField(builder, names[i], fields[i], tev::kBindingFieldRequired);
  }

  // Around every field, keys that differ from its name in one byte (one up and one down, at
  // each position, high bytes included) or run one byte on. Matched to a field, their text
  // would fail the conversion.
  BindingProperty input;
  for (std::size_t i = 0; i < names.size(); ++i) {
    input.member(names[i]).setSigned(static_cast<std::int64_t>(i) + 1);
  }
  for (const std::string& name : names) {
    std::vector<std::string> nearMisses = {name + '\x01', name + '\xFF'};
    for (std::size_t i = 0; i < name.size(); ++i) {
      for (const int step : {-1, 1}) {
        std::string key = name;
        key[i] = static_cast<char>(static_cast<unsigned char>(key[i]) + step);
        nearMisses.push_back(key);
      }
    }
    for (const std::string& key : nearMisses) {
      if (!input.hasMember(key)) input.member(key).setString("ignored");
    }
  }
  SharedPrefixes record;
  EXPECT_EQ(convertError(input, record, &registry_, "record"), "");
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(record.*fields[i], static_cast<std::int32_t>(i) + 1) << names[i];
  }

  // Without the fields themselves every required one is missing, the first by field order.
  BindingProperty missesOnly;
  for (const auto& member : input.members()) {
    if (member.value.isString()) missesOnly.member(member.key).setString("ignored");
  }
  EXPECT_EQ(convertError(missesOnly, record, &registry_, "record"),
            "Couldn't assign value to 'record' of type SharedPrefixes because the input "
            "structure doesn't have required field 'a'.");
}

TEST_F(BindingConversion, TheFirstFailureWinsAndLaterFieldsAreUntouched) {
  regtest::Record record;
  record.name = "before";
  BindingProperty input = minimalRecord();
  input.member("quantity").setSigned(-1);
  input.member("flag").setString("maybe");
  input.member("name").setString("after");
  input.member("count").setSigned(2);
  EXPECT_EQ(convertError(input, record, &registry_, "record"),
            "Value -1 for 'quantity' of type uint32 is out of range");
  EXPECT_EQ(record.count, 2) << "fields before the failure keep their new values";
  EXPECT_EQ(record.name, "before");

  tev::BindingResult failed = tev::BindingResult::failure("earlier");
  EXPECT_FALSE(tev::convertToNative(failed, minimalRecord(), record, "record", &registry_));
  EXPECT_EQ(failed.error(), "earlier");
}

TEST_F(BindingConversion, EachElementIsMatchedByItsOwnKeysWhateverTheElementsBeforeIt) {
  // Elements that repeat the keys of the one before, and elements that differ from it in their
  // number of members, in one key, in an extra key or in a key that is a prefix of a field's.
  BindingProperty input;
  const auto key = [&](std::size_t index) -> BindingProperty& { return input.element(index); };
  key(0).member("id").setString("a");
  key(0).member("version").setSigned(1);
  key(1).member("id").setString("b");
  key(1).member("version").setSigned(2);
  key(2).member("version").setSigned(3);
  key(3).member("id").setString("d");
  key(3).member("version").setSigned(4);
  key(3).member("zzz").setSigned(99);
  key(4).member("i").setString("ignored");
  key(4).member("version").setSigned(5);
  key(5).member("idx").setString("ignored");
  key(5).member("version").setSigned(6);
  key(6).member("id").setString("g");
  key(6).member("version");  // null
  key(7).member("id").setString("h");
  key(7).member("version").setSigned(8);
  for (int i = 0; i < 20; ++i) key(8).member("x" + std::to_string(i)).setSigned(i);
  key(8).member("id").setString("i");
  key(9).member("id").setString("j");
  key(9).member("version").setSigned(10);

  tev::Vector<regtest::Key> keys;
  ASSERT_EQ(convertError(input, keys, &registry_, "keys"), "");
  const std::vector<std::pair<std::string, std::int32_t>> expected = {
      {"a", 1}, {"b", 2}, {"", 3},  {"d", 4}, {"", 5},
      {"", 6},  {"g", 0}, {"h", 8}, {"i", 0}, {"j", 10}};
  ASSERT_EQ(keys.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(std::string_view(keys[i].id), expected[i].first) << i;
    EXPECT_EQ(keys[i].version, expected[i].second) << i;
  }
}

TEST_F(BindingConversion, RecordsNestedAnywhereInOneValueFindTheirOwnFields) {
  // Key records at two places of each record, and records of two types whose members have the
  // same keys; the third record lacks its required field after two that had it.
  BindingProperty input;
  for (int i = 0; i < 3; ++i) {
    BindingProperty& record = input.element(static_cast<std::size_t>(i));
    if (i < 2) record.member("count").setSigned(i + 1);
    record.member("name").setString("record " + std::to_string(i));
    record.member("key").member("id").setString("key " + std::to_string(i));
    record.member("key").member("version").setSigned(10 + i);
    BindingProperty& listed = record.member("keys").element(0);
    listed.member("id").setString("listed " + std::to_string(i));
    listed.member("version").setSigned(20 + i);
  }
  tev::Vector<regtest::Record> records;
  EXPECT_EQ(convertError(input, records, &registry_, "records"),
            "Couldn't assign value to 'records' of type TestRecord because the input structure "
            "doesn't have required field 'count'.");
  ASSERT_EQ(records.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    const regtest::Record& record = records[static_cast<std::size_t>(i)];
    EXPECT_EQ(record.count, i + 1);
    EXPECT_EQ(std::string_view(record.name), "record " + std::to_string(i));
    EXPECT_EQ(std::string_view(record.key.id), "key " + std::to_string(i));
    EXPECT_EQ(record.key.version, 10 + i);
    ASSERT_EQ(record.keys.size(), 1u);
    EXPECT_EQ(std::string_view(record.keys[0].id), "listed " + std::to_string(i));
    EXPECT_EQ(record.keys[0].version, 20 + i);
  }
}

template <int N>
void registerLevels(tev::BindingRegistry& registry) {
  if constexpr (N < 9) registerLevels<N + 1>(registry);
  auto builder =
      tev::registerBindingType<convtest::Level<N>>(registry, "Level" + std::to_string(N));
  if constexpr (N < 9) tev::addBindingField(builder, "next", &convtest::Level<N>::next);
  tev::addBindingField(builder, "value", &convtest::Level<N>::value);
}

template <int N>
void checkLevels(const convtest::Level<N>& level, std::int32_t first) {
  EXPECT_EQ(level.value, first + N) << N;
  if constexpr (N < 9) checkLevels(level.next, first);
}

TEST_F(BindingConversion, RecordsOfMoreTypesThanAreRememberedStillFindTheirFields) {
  registerLevels<0>(registry_);
  BindingProperty input;
  for (std::size_t chain = 0; chain < 4; ++chain) {
    BindingProperty* level = &input.element(chain);
    for (int n = 0; n <= 9; ++n) {
      // In the third chain every other level has an extra member before "value".
      if (chain == 2 && n % 2 == 0) level->member("unused").setSigned(-1);
      level->member("value").setSigned(static_cast<std::int64_t>(100 * chain) + n);
      if (n < 9) level = &level->member("next");
    }
  }
  tev::Vector<convtest::Level<0>> chains;
  ASSERT_EQ(convertError(input, chains, &registry_, "chains"), "");
  ASSERT_EQ(chains.size(), 4u);
  for (std::size_t chain = 0; chain < 4; ++chain) {
    checkLevels(chains[chain], static_cast<std::int32_t>(100 * chain));
  }
}

TEST_F(BindingConversion, RecordInputsMustBeRegisteredStructures) {
  regtest::Record record;
  EXPECT_EQ(convertError(text("x"), record, &registry_, "record"),
            "Couldn't assign value to 'record' of type TestRecord because the input not a "
            "structure.");
  EXPECT_EQ(convertError(BindingProperty(), record, &registry_, "record"),
            "A value for 'record' is required.");
  EXPECT_EQ(convertError(minimalRecord(), record, nullptr, "record"),
            "Couldn't assign value to 'record' because the input is an unregistered structure "
            "or not a structure at all.");
  regtest::Unregistered unregistered;
  EXPECT_EQ(convertError(minimalRecord(), unregistered, &registry_, "record"),
            "Couldn't assign value to 'record' because the input is an unregistered structure "
            "or not a structure at all.");
  tev::BindingResult result;
  EXPECT_FALSE(tev::convertToValue(result, unregistered, &registry_));
  EXPECT_EQ(result.error(),
            "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(BindingConversion, RecordsRoundTripThroughValues) {
  regtest::Record record;
  record.count = -3;
  record.quantity = 4;
  record.flag = true;
  record.price = 2.5;
  record.name = "widget";
  record.color = regtest::Color::kGreen;
  record.key = {"k1", 1};
  record.keys = {{"a", 2}, {"b", 3}};
  record.extra.member("z").setBool(true);
  record.numbers = {1, 2};

  tev::BindingResult result;
  ASSERT_TRUE(tev::convertToValue(result, record, &registry_));
  const std::uint32_t color = tev::bindingTypeInfo<regtest::Color>().identifier;
  char colorText[32];
  std::snprintf(colorText, sizeof colorText, "enum(2,%08X)", color);
  EXPECT_EQ(regtest::describe(result.value()),
            std::string("{color:") + colorText +
                ",count:s-3,extra:{z:true},flag:true,key:{id:\"k1\",version:s1},"
                "keys:[{id:\"a\",version:s2},{id:\"b\",version:s3}],name:\"widget\","
                "note:null,numbers:[s1,s2],price:f2.5,quantity:u4}");

  regtest::Record back;
  EXPECT_EQ(convertError(result.value(), back, &registry_, "record"), "");
  EXPECT_EQ(back.count, -3);
  EXPECT_EQ(back.quantity, 4u);
  EXPECT_TRUE(back.flag);
  EXPECT_EQ(back.price, 2.5);
  EXPECT_EQ(back.name, "widget");
  EXPECT_EQ(back.color, regtest::Color::kGreen);
  EXPECT_EQ(back.key.id, "k1");
  ASSERT_EQ(back.keys.size(), 2u);
  EXPECT_EQ(back.keys[1].id, "b");
  EXPECT_EQ(back.keys[1].version, 3);
  EXPECT_FALSE(back.note.has_value());
  EXPECT_EQ(regtest::describe(back.extra), "{z:true}");
  EXPECT_EQ(back.numbers, record.numbers);
}

struct Flagged {
  std::int32_t zero = 0;
  std::int32_t kept = 0;
  tev::String emptyText;
  bool off = false;
  std::optional<std::int32_t> nothing;
  std::optional<std::int32_t> nothingOmitted;
  tev::Vector<std::int32_t> none;
  double negativeZero = -0.0;
  std::int32_t one = 1;
};

}  // namespace

TEV_BINDING_TYPE(Flagged);

namespace {

TEST(BindingOmitEmpty, LeavesOutEmptyFalseZeroAndSizeZeroMembersOnly) {
  tev::BindingRegistry registry;
  auto builder = tev::registerBindingType<Flagged>(registry, "Flagged");
  tev::addBindingField(builder, "zero", &Flagged::zero, tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "kept", &Flagged::kept);
  tev::addBindingField(builder, "emptyText", &Flagged::emptyText, tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "off", &Flagged::off, tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "nothing", &Flagged::nothing);
  tev::addBindingField(builder, "nothingOmitted", &Flagged::nothingOmitted,
                       tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "none", &Flagged::none, tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "negativeZero", &Flagged::negativeZero,
                       tev::kBindingFieldOmitEmpty);
  tev::addBindingField(builder, "one", &Flagged::one, tev::kBindingFieldOmitEmpty);

  tev::BindingResult result;
  ASSERT_TRUE(tev::convertToValue(result, Flagged{}, &registry));
  EXPECT_EQ(regtest::describe(result.value()), "{kept:s0,nothing:null,one:s1}");
}

TEST_F(BindingConversion, DeepInputFailsAtTheNestingLimitInsteadOfOverflowingTheStack) {
  BindingProperty input;
  BindingProperty* level = &input;
  for (int i = 0; i < 300; ++i) level = &level->member("children").element(0);
  regtest::Node node;
  const std::string error = convertError(input, node, &registry_, "tree");
  EXPECT_EQ(error,
            "Couldn't assign value to 'children' because the input is nested deeper than "
            "128 levels.");
}

TEST_F(BindingConversion, DeepNativeRecordsFailAtTheNestingLimit) {
  regtest::Node root;
  regtest::Node* level = &root;
  for (int i = 0; i < 100; ++i) {
    level->children.resize(1);
    level = &level->children[0];
  }
  tev::BindingResult result;
  EXPECT_FALSE(tev::convertToValue(result, root, &registry_));
  EXPECT_EQ(result.error(),
            "Couldn't convert native value because it's nested deeper than 128 "
            "levels.");
  root.children[0].children.clear();
  EXPECT_TRUE(tev::convertToValue(result, root, &registry_));
}

}  // namespace
