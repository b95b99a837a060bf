#include "binding/host_value_conversion.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/allocation_counters.h"
#include "registry_test_support.h"

namespace {

using tev::BindingProperty;

constexpr std::size_t kValueOffset = offsetof(HostStructureEntry, value);

HostValue hostText(const char* text) {
  HostValue value{};
  value.type = kHostValueString;
  value.payload.string.text = text;
  value.payload.string.length = 999;  // never used: texts end at their NUL
  return value;
}

HostValue hostSigned(std::int64_t number) {
  HostValue value{};
  value.type = kHostValueSigned;
  value.payload.signedValue = number;
  return value;
}

HostValue entryValueOf(const HostStructureEntry& entry) {
  HostValue value;
  std::memcpy(&value,
              reinterpret_cast<const unsigned char*>(&entry) + offsetof(HostStructureEntry, value),
              sizeof value);
  return value;
}

std::uint64_t bytesInUse() { return tev::snapshot(tev::processAllocationCounters()).bytesInUse(); }

// A tree with every kind of value.
BindingProperty everyKind() {
  BindingProperty tree;
  tree.member("b").setBool(true);
  tree.member("s").setSigned(-5);
  tree.member("u").setUnsigned(18446744073709551615u);
  tree.member("f").setFloat(0.25);
  tree.member("t").setString(std::string_view("a\0b", 3));
  const std::uint8_t bytes[] = {0, 1, 255};
  tree.member("blob").setBlob(bytes, sizeof bytes);
  tree.member("emptyBlob").setBlob(nullptr, 0);
  tree.member("list").element(0).setString("x");
  tree.member("list").element(2).makeStructure();
  tree.member("list").element(3).makeCollection();
  tree.member("null");
  return tree;
}

TEST(HostValueConversion, TreesRoundTripWithOwnedCopies) {
  // The page pool keeps its bookkeeping once created; create it before counting.
  { const BindingProperty warmUp = everyKind(); }
  const std::uint64_t before = bytesInUse();
  {
    const BindingProperty tree = everyKind();
    HostValue host{};
    ASSERT_TRUE(tev::propertyToHostValue(host, tree, nullptr));
    ASSERT_EQ(host.type, static_cast<std::uint32_t>(kHostValueStructure));
    ASSERT_EQ(host.payload.structure.count, 9u);
    // Key order by bytes; every key an owned copy.
    const char* expectedKeys[] = {"b", "blob", "emptyBlob", "f", "list", "null", "s", "t", "u"};
    for (std::size_t i = 0; i < std::size(expectedKeys); ++i) {
      EXPECT_STREQ(host.payload.structure.entries[i].key, expectedKeys[i]);
      EXPECT_EQ(host.payload.structure.entries[i].keyOwned, 1);
    }
    const HostValue text = entryValueOf(host.payload.structure.entries[7]);
    EXPECT_EQ(text.type, static_cast<std::uint32_t>(kHostValueOwnedString));
    EXPECT_EQ(text.payload.string.length, 3u);
    const HostValue blob = entryValueOf(host.payload.structure.entries[1]);
    EXPECT_EQ(blob.type, static_cast<std::uint32_t>(kHostValueOwnedBlob));
    EXPECT_EQ(blob.payload.blob.length, 3u);
    const HostValue list = entryValueOf(host.payload.structure.entries[4]);
    EXPECT_EQ(list.type, static_cast<std::uint32_t>(kHostValueCollection));
    EXPECT_EQ(list.payload.collection.count, 4u);

    HostResult outcome{};
    BindingProperty back;
    ASSERT_TRUE(tev::hostValueToProperty(outcome, back, host, "body"));
    EXPECT_EQ(outcome.hasError, 0);
    // Texts come back through their NUL terminator, so "a\0b" becomes "a".
    EXPECT_EQ(regtest::describe(back),
              "{b:true,blob:blob(0001ff),emptyBlob:blob(),f:f0.25,list:[\"x\",null,{},[]],"
              "null:null,s:s-5,t:\"a\",u:u18446744073709551615}");
    tev::clearHostValue(host);
    EXPECT_EQ(host.type, 0u);
    const std::uint64_t payload = host.payload.unsignedValue;  // packed: read by value
    EXPECT_EQ(payload, 0u);
  }
  EXPECT_EQ(bytesInUse(), before) << "clearing releases every copy made through the hooks";
}

TEST(HostValueConversion, EnumValuesBecomeNamesOnlyWithARegistry) {
  tev::BindingRegistry registry;
  regtest::registerTestTypes(registry);
  BindingProperty value;
  value.setEnum(2, tev::bindingTypeInfo<regtest::Color>().identifier);
  HostValue host{};
  ASSERT_TRUE(tev::propertyToHostValue(host, value, &registry));
  EXPECT_EQ(host.type, static_cast<std::uint32_t>(kHostValueOwnedString));
  EXPECT_STREQ(host.payload.string.text, "Green");
  tev::clearHostValue(host);
  ASSERT_TRUE(tev::propertyToHostValue(host, value, nullptr));
  EXPECT_EQ(host.type, static_cast<std::uint32_t>(kHostValueSigned));
  const std::int64_t number = host.payload.signedValue;  // packed: read by value
  EXPECT_EQ(number, 2);
  value.setEnum(42, tev::bindingTypeInfo<regtest::Color>().identifier);
  ASSERT_TRUE(tev::propertyToHostValue(host, value, &registry));
  EXPECT_EQ(host.type, static_cast<std::uint32_t>(kHostValueSigned));
}

TEST(HostValueConversion, BorrowedHostRecordsAreReadAndNeverFreed) {
  const std::uint8_t bytes[] = {7, 8};
  HostValue elements[2] = {hostText("borrowed"), {}};
  elements[1].type = kHostValueBlob;
  elements[1].payload.blob.bytes = bytes;
  elements[1].payload.blob.length = 2;
  HostStructureEntry entries[3] = {};
  entries[0].key = "z";
  entries[1].key = "a";
  entries[2].key = "z";  // a repeated key keeps the later value
  HostValue collection{};
  collection.type = kHostValueCollection;
  collection.payload.collection.elements = elements;
  collection.payload.collection.count = 2;
  const HostValue first = hostSigned(1);
  const HostValue last = hostSigned(3);
  std::memcpy(reinterpret_cast<unsigned char*>(&entries[0]) + kValueOffset, &first, sizeof first);
  std::memcpy(reinterpret_cast<unsigned char*>(&entries[1]) + kValueOffset, &collection,
              sizeof collection);
  std::memcpy(reinterpret_cast<unsigned char*>(&entries[2]) + kValueOffset, &last, sizeof last);
  HostValue structure{};
  structure.type = kHostValueStructure;
  structure.payload.structure.entries = entries;
  structure.payload.structure.count = 3;

  HostResult outcome{};
  BindingProperty value;
  ASSERT_TRUE(tev::hostValueToProperty(outcome, value, structure, "body"));
  EXPECT_EQ(regtest::describe(value), "{a:[\"borrowed\",blob(0708)],z:s3}");
}

TEST(HostValueConversion, UnknownTypeCodesAreReportedNotRead) {
  HostValue bogus{};
  bogus.type = 42;
  bogus.payload.string.text = reinterpret_cast<const char*>(1);  // would crash if read
  HostResult outcome{};
  outcome.value.type = kHostValueSigned;
  BindingProperty value = regtest::text("kept?");
  EXPECT_FALSE(tev::hostValueToProperty(outcome, value, bogus, "body"));
  EXPECT_EQ(outcome.hasError, 1);
  EXPECT_EQ(outcome.value.type, 0u);
  ASSERT_NE(outcome.error, nullptr);
  EXPECT_STREQ(outcome.error,
               "Couldn't assign value to 'body' of type object because the input is of an "
               "incompatible type ''.");
  tev::clearHostResult(outcome);
  EXPECT_EQ(outcome.error, nullptr);
  EXPECT_EQ(outcome.hasError, 0);
}

TEST(HostValueConversion, MalformedHostRecordsGetClearErrors) {
  struct Row {
    HostValue input;
    const char* error;
  };
  HostValue nullBlob{};
  nullBlob.type = kHostValueOwnedBlob;
  nullBlob.payload.blob.length = 4;
  HostValue nullElements{};
  nullElements.type = kHostValueCollection;
  nullElements.payload.collection.count = 1;
  HostStructureEntry keyless[1] = {};
  HostValue nullKey{};
  nullKey.type = kHostValueStructure;
  nullKey.payload.structure.entries = keyless;
  nullKey.payload.structure.count = 1;
  HostValue nestedUnknown{};
  HostValue unknown{};
  unknown.type = 11;
  nestedUnknown.type = kHostValueCollection;
  nestedUnknown.payload.collection.elements = &unknown;
  nestedUnknown.payload.collection.count = 1;
  const Row rows[] = {
      {nullBlob,
       "Couldn't assign value to 'p' because the input of type 'blob' points to no data."},
      {nullElements,
       "Couldn't assign value to 'p' because the input of type 'collection' points to no data."},
      {nullKey, "Couldn't assign value to 'p' because a member of the input structure has no key."},
      {nestedUnknown,
       "Couldn't assign value to 'p' of type object because the input is of an incompatible "
       "type ''."},
  };
  for (const Row& row : rows) {
    HostResult outcome{};
    BindingProperty value;
    EXPECT_FALSE(tev::hostValueToProperty(outcome, value, row.input, "p"));
    ASSERT_NE(outcome.error, nullptr);
    EXPECT_STREQ(outcome.error, row.error);
    tev::clearHostResult(outcome);
  }
  HostValue nullText = hostText(nullptr);
  HostResult outcome{};
  BindingProperty value;
  EXPECT_TRUE(tev::hostValueToProperty(outcome, value, nullText, "p"));
  EXPECT_TRUE(value.isString());
  EXPECT_EQ(value.size(), 0u);
}

TEST(HostValueConversion, NestingBeyondTheLimitIsRefusedBothWays) {
  // 129 collections, each holding the next.
  std::vector<HostValue> chain(130);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    chain[i].type = kHostValueCollection;
    chain[i].payload.collection.elements = &chain[i + 1];
    chain[i].payload.collection.count = 1;
  }
  HostResult outcome{};
  BindingProperty value;
  EXPECT_FALSE(tev::hostValueToProperty(outcome, value, chain[0], "deep"));
  EXPECT_STREQ(outcome.error,
               "Couldn't assign value to 'deep' because the input is nested deeper than 128 "
               "levels.");
  tev::clearHostResult(outcome);
  EXPECT_TRUE(tev::hostValueToProperty(outcome, value, chain[1], "deep")) << "128 levels pass";

  BindingProperty tree;
  BindingProperty* level = &tree;
  for (int i = 0; i < 129; ++i) level = &level->element(0);
  HostValue host{};
  EXPECT_FALSE(tev::propertyToHostValue(host, tree, nullptr));
  EXPECT_EQ(host.type, 0u);
  ASSERT_TRUE(tev::propertyToHostValue(host, tree.getElement(0), nullptr));
  tev::clearHostValue(host);
}

TEST(HostBoundary, RecordsHaveTheirFixedSizes) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "the fixed layout is the 32-bit one";
  EXPECT_EQ(sizeof(HostValue), 12u);
  EXPECT_EQ(sizeof(HostStructureEntry), 17u);
}

}  // namespace
