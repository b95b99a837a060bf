#include "binding/binding_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "binding/binding_builtin_types.h"
#include "binding/binding_field_registration.h"
#include "binding/binding_type_info.h"
#include "registry_test_support.h"

namespace {

using tev::BindingBuiltinType;
using tev::BindingRegistry;

struct Plain {
  std::int32_t a = 0;
  std::int32_t b = 0;
};
struct NoContext {};
enum class State : std::int32_t { kNone, kRunning, kFailed };

// Counts disposals so tests can see that the registry releases what it owns.
int disposedConverters = 0;
int disposedInvokers = 0;

class CountingConverter final : public tev::BindingFieldConverter {
 public:
  void toNative(tev::BindingResult&, const tev::BindingProperty&, void*, std::string_view,
                const tev::BindingConversionContext&) const override {}
  bool toValue(tev::BindingProperty&, const void*, tev::String&,
               const tev::BindingConversionContext&) const override {
    return true;
  }
  void dispose() noexcept override {
    ++disposedConverters;
    tev::destroyObject(this);
  }
};

class CountingInvoker final : public tev::BindingFunctionInvoker {
 public:
  void dispose() noexcept override {
    ++disposedInvokers;
    tev::destroyObject(this);
  }
};

tev::BindingFieldConverterPtr countingConverter() {
  return tev::BindingFieldConverterPtr(tev::createObject<CountingConverter>());
}
tev::BindingFunctionInvokerPtr countingInvoker() {
  return tev::BindingFunctionInvokerPtr(tev::createObject<CountingInvoker>());
}

std::vector<std::string> names(const tev::BindingTypeDescriptor& type) {
  std::vector<std::string> out;
  for (const auto& [name, enumerator] : type.enumerators) out.emplace_back(name);
  return out;
}

}  // namespace

TEV_BINDING_TYPE(Plain);
TEV_BINDING_TYPE(State);
TEV_BINDING_TYPE_WITH_IDENTIFIER(NoContext, tev::kBindingNoContextIdentifier);

TEST(BindingTypeInfo, IdentifierIsTheHashOfTheQualifiedNameOnEveryTarget) {
  // Fixed numbers: a change of scheme would break every peer that compares identifiers.
  EXPECT_EQ(tev::bindingTypeInfo<bool>().identifier, 0xC894953Du);
  EXPECT_STREQ(tev::bindingTypeInfo<tev::Vector<std::optional<tev::String>>>().displayText,
               "tev::Vector<std::optional<tev::String>>");
  EXPECT_EQ(tev::bindingTypeInfo<tev::Vector<std::optional<tev::String>>>().identifier,
            tev::binding_internal::fnv1a32("tev::Vector<std::optional<tev::String>>"));
  EXPECT_EQ(tev::bindingTypeInfo<std::int64_t>().identifier,
            tev::binding_internal::fnv1a32("std::int64_t"));
}

TEST(BindingTypeInfo, OneRecordPerTypeAndConstQualifiedSharesIt) {
  EXPECT_EQ(&tev::bindingTypeInfo<Plain>(), &tev::bindingTypeInfo<const Plain>());
  EXPECT_STREQ(tev::bindingTypeInfo<Plain>().displayText, "Plain");
  EXPECT_EQ(tev::bindingTypeInfo<NoContext>().identifier, 0x1BE7EF8Eu);
}

TEST(BindingTypeInfo, BuiltinAndFrameworkTypesHaveDistinctUnreservedIdentifiers) {
  const std::vector<std::uint32_t> identifiers = {
      tev::bindingTypeInfo<bool>().identifier,
      tev::bindingTypeInfo<std::int8_t>().identifier,
      tev::bindingTypeInfo<std::uint8_t>().identifier,
      tev::bindingTypeInfo<std::int16_t>().identifier,
      tev::bindingTypeInfo<std::uint16_t>().identifier,
      tev::bindingTypeInfo<std::int32_t>().identifier,
      tev::bindingTypeInfo<std::uint32_t>().identifier,
      tev::bindingTypeInfo<std::int64_t>().identifier,
      tev::bindingTypeInfo<std::uint64_t>().identifier,
      tev::bindingTypeInfo<float>().identifier,
      tev::bindingTypeInfo<double>().identifier,
      tev::bindingTypeInfo<tev::String>().identifier,
      tev::bindingTypeInfo<std::string>().identifier,
      tev::bindingTypeInfo<tev::BindingProperty>().identifier,
      tev::bindingTypeInfo<tev::Vector<tev::String>>().identifier,
      tev::bindingTypeInfo<std::vector<tev::String>>().identifier,
      tev::bindingTypeInfo<std::optional<tev::String>>().identifier,
      tev::bindingTypeInfo<tev::BindingAsyncState>().identifier,
      tev::bindingTypeInfo<tev::BindingCallbackEvent>().identifier,
      tev::bindingTypeInfo<tev::BindingFullApiHelp>().identifier,
      tev::bindingTypeInfo<tev::BindingHelpFormat>().identifier,
  };
  const std::set<std::uint32_t> distinct(identifiers.begin(), identifiers.end());
  EXPECT_EQ(distinct.size(), identifiers.size());
  for (const std::uint32_t identifier : identifiers) {
    EXPECT_FALSE(tev::isFixedBindingIdentifier(identifier)) << std::hex << identifier;
  }
}

TEST(BindingBuiltinTypeName, NamesEveryCodeAndNothingElse) {
  EXPECT_EQ(tev::bindingBuiltinTypeName(BindingBuiltinType::kBool), "bool");
  EXPECT_EQ(tev::bindingBuiltinTypeName(BindingBuiltinType::kUint64), "uint64");
  EXPECT_EQ(tev::bindingBuiltinTypeName(BindingBuiltinType::kObject), "object");
  EXPECT_EQ(tev::bindingBuiltinTypeName(BindingBuiltinType::kMap), "map");
  EXPECT_EQ(tev::bindingBuiltinTypeName(BindingBuiltinType::kNone), "");
  EXPECT_EQ(tev::bindingBuiltinTypeName(static_cast<BindingBuiltinType>(20)), "");
}

TEST(BindingRegistry, FirstRegistrationOfATypeWins) {
  BindingRegistry registry;
  auto first = tev::registerBindingType<Plain>(registry, "Plain");
  tev::addBindingField(first, "a", &Plain::a);
  first.setDescription("first").addTag("one");
  EXPECT_FALSE(first.existed());

  disposedConverters = 0;
  auto second = registry.registerType(99, "Plain", tev::bindingTypeInfo<State>(), true);
  EXPECT_TRUE(second.existed());
  second.setDescription("second").addTag("two").addTags({"three"});
  tev::BindingFieldSpec spec;
  spec.name = "b";
  second.addField(spec, countingConverter());
  second.addEnumerator("X", 1);
  EXPECT_EQ(disposedConverters, 1) << "a skipped field's converter is released at once";

  const tev::BindingTypeDescriptor* type = registry.findType("Plain");
  ASSERT_EQ(type, &first.descriptor());
  EXPECT_EQ(type->size, sizeof(Plain));
  EXPECT_FALSE(type->isEnumeration);
  EXPECT_EQ(type->description, "first");
  ASSERT_EQ(type->tags.size(), 1u);
  EXPECT_EQ(type->tags[0], "one");
  ASSERT_EQ(type->fields.size(), 1u);
  EXPECT_EQ(type->fields[0].name, "a");
  EXPECT_TRUE(type->enumerators.empty());
}

TEST(BindingRegistry, FieldDescriptorRecordsWhatWasRegistered) {
  BindingRegistry registry;
  regtest::registerTestTypes(registry);
  const tev::BindingTypeDescriptor* record = registry.findType("TestRecord");
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->fields.size(), 11u);
  EXPECT_EQ(record->registry, &registry);

  const tev::BindingFieldDescriptor& count = record->fields[0];
  EXPECT_EQ(count.name, "count");
  EXPECT_EQ(count.nameHash, tev::binding_internal::fnv1a32("count"));
  EXPECT_EQ(count.offset, offsetof(regtest::Record, count));
  EXPECT_TRUE(count.required());
  EXPECT_FALSE(count.omitEmpty());
  EXPECT_EQ(count.type.type, BindingBuiltinType::kInt32);
  EXPECT_EQ(count.typeInfo, &tev::bindingTypeInfo<std::int32_t>());
  EXPECT_EQ(count.owner, record);

  const tev::BindingFieldDescriptor* keys = record->findField("keys");
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(keys->type.type, BindingBuiltinType::kVector);
  EXPECT_EQ(keys->type.elementType, BindingBuiltinType::kStruct);
  EXPECT_EQ(keys->type.descriptor, registry.findType("Key"));
  EXPECT_EQ(keys->secondType, tev::BindingTypeIdentifier{});

  const tev::BindingFieldDescriptor* color = record->findField("color");
  ASSERT_NE(color, nullptr);
  EXPECT_EQ(color->type.type, BindingBuiltinType::kEnum);
  EXPECT_EQ(color->type.descriptor, registry.findType("Color"));

  const tev::BindingFieldDescriptor* note = record->findField("note");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->optional, 1);
  EXPECT_EQ(note->type.type, BindingBuiltinType::kString);
  EXPECT_EQ(record->findField("name")->optional, 0);
}

TEST(BindingRegistry, FieldNameIndexFollowsByteOrderAndSurvivesGrowth) {
  BindingRegistry registry;
  auto builder = tev::registerBindingType<Plain>(registry, "Plain");
  const char* names[] = {"b", "a_long_field_name_beyond_small_buffers", "B", "a", "b", "ab"};
  for (const char* name : names) {
    tev::BindingFieldSpec spec;
    spec.name = name;
    builder.addField(spec, countingConverter());
  }
  std::vector<std::string> ordered;
  std::vector<std::uint32_t> indices;
  for (const tev::BindingFieldName& entry : builder.descriptor().fieldsByName) {
    ordered.emplace_back(entry.name);
    indices.push_back(entry.index);
    EXPECT_EQ(entry.name, builder.descriptor().fields[entry.index].name);
  }
  EXPECT_EQ(ordered, (std::vector<std::string>{"B", "a", "a_long_field_name_beyond_small_buffers",
                                               "ab", "b", "b"}));
  EXPECT_EQ(indices, (std::vector<std::uint32_t>{2, 3, 1, 5, 0, 4}));
}

TEST(BindingRegistry, SecondTypeIdentifierIsCopiedOnlyWithACode) {
  BindingRegistry registry;
  auto builder = tev::registerBindingType<Plain>(registry, "Plain");
  tev::BindingFieldSpec spec;
  spec.name = "a";
  spec.secondType = {BindingBuiltinType::kNone, BindingBuiltinType::kInt8, nullptr};
  builder.addField(spec, countingConverter());
  spec.name = "b";
  spec.secondType = {BindingBuiltinType::kVector, BindingBuiltinType::kInt8, nullptr};
  builder.addField(spec, countingConverter());
  EXPECT_EQ(builder.descriptor().fields[0].secondType, tev::BindingTypeIdentifier{});
  EXPECT_EQ(builder.descriptor().fields[1].secondType.elementType, BindingBuiltinType::kInt8);
}

TEST(BindingRegistry, ReferencedTypeRegisteredLaterStaysUnresolved) {
  BindingRegistry registry;
  struct Holder {
    regtest::Key key;
  };
  auto builder = registry.registerType(sizeof(Holder), "Holder",
                                       tev::bindingTypeInfo<regtest::Unregistered>(), false);
  tev::addBindingField(builder, "key", &Holder::key);
  regtest::registerTestTypes(registry);
  EXPECT_EQ(builder.descriptor().fields[0].type.type, BindingBuiltinType::kStruct);
  EXPECT_EQ(builder.descriptor().fields[0].type.descriptor, nullptr);
}

TEST(BindingRegistry, EnumeratorsAreOrderedByNameAsBytes) {
  BindingRegistry registry;
  auto builder = tev::registerBindingType<State>(registry, "State");
  builder.addEnumerator("Running", 1).addEnumerator("None", 0).addEnumerator("Failed", 2);
  builder.addEnumerator("lower", 3).addEnumerator("Zed", 4);
  EXPECT_TRUE(builder.descriptor().isEnumeration);
  EXPECT_EQ(names(builder.descriptor()),
            (std::vector<std::string>{"Failed", "None", "Running", "Zed", "lower"}));
}

TEST(BindingRegistry, AddingAnEnumeratorAgainReplacesValueAndDescription) {
  BindingRegistry registry;
  auto builder = tev::registerBindingType<State>(registry, "State");
  builder.addEnumerator("Running", 1, "old").addEnumerator("Running", 7, "new");
  const tev::BindingTypeDescriptor& type = builder.descriptor();
  ASSERT_EQ(type.enumerators.size(), 1u);
  EXPECT_EQ(type.findEnumerator("Running")->value, 7);
  EXPECT_EQ(type.findEnumerator("Running")->description, "new");
  EXPECT_FALSE(type.hasEnumeratorValue(1));
}

TEST(BindingRegistry, EnumeratorQueriesFindTheFirstNameForAValue) {
  BindingRegistry registry;
  regtest::registerTestTypes(registry);
  const std::uint32_t color = tev::bindingTypeInfo<regtest::Color>().identifier;
  // Green and AlsoGreen: the registry orders by name, so AlsoGreen (3) and Green (2) differ.
  tev::registerBindingType<regtest::Color>(registry, "Color");  // ignored, exists
  const tev::String* name = registry.enumeratorName(color, 2);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(*name, "Green");
  EXPECT_EQ(registry.enumeratorName(color, 9), nullptr);
  EXPECT_EQ(registry.enumeratorName(0x12345678u, 2), nullptr);
  EXPECT_TRUE(registry.hasEnumeratorValue(color, 3));
  EXPECT_FALSE(registry.hasEnumeratorValue(color, 4));

  auto twin = tev::registerBindingType<State>(registry, "Twins");
  twin.addEnumerator("b", 5).addEnumerator("a", 5);
  EXPECT_EQ(*registry.enumeratorName(tev::bindingTypeInfo<State>().identifier, 5), "a");
}

TEST(BindingRegistry, ReservedIdentifierIsFoundByNameOnly) {
  BindingRegistry registry;
  registry.registerType(1, "NoContext", tev::bindingTypeInfo<NoContext>(), false);
  EXPECT_NE(registry.findType("NoContext"), nullptr);
  EXPECT_EQ(registry.findType(tev::kBindingNoContextIdentifier), nullptr);
}

TEST(BindingRegistry, TypesAreFoundByIdentifierAndTheFirstNameKeepsIt) {
  BindingRegistry registry;
  const tev::BindingTypeDescriptor* first =
      &tev::registerBindingType<Plain>(registry, "Plain").descriptor();
  tev::registerBindingType<Plain>(registry, "PlainAgain");
  EXPECT_EQ(registry.findType(tev::bindingTypeInfo<Plain>().identifier), first);
  EXPECT_NE(registry.findType("PlainAgain"), nullptr);
  EXPECT_EQ(registry.findType("Missing"), nullptr);
  EXPECT_EQ(registry.findType(0x00000001u), nullptr);
}

TEST(BindingRegistry, FunctionsCountChangesAndKeepTheFirstInvoker) {
  BindingRegistry registry;
  disposedInvokers = 0;
  const std::uint32_t start = registry.changeCounter();
  tev::Vector<tev::BindingFunctionArgument> arguments(1);
  arguments[0].name = "body";
  auto first = registry.registerFunction("F", std::move(arguments), {BindingBuiltinType::kObject},
                                         countingInvoker());
  first.setDescription("d").setHelp("h").setThreadSafe(true).setAsync(true).addTag("t");
  EXPECT_EQ(registry.changeCounter(), start + 1);

  auto second = registry.registerFunction("F", {}, {}, countingInvoker());
  EXPECT_TRUE(second.existed());
  second.setDescription("other");
  EXPECT_EQ(disposedInvokers, 1);
  EXPECT_EQ(registry.changeCounter(), start + 1);

  const tev::BindingFunctionDescriptor* function = registry.findFunction("F");
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function->description, "d");
  EXPECT_EQ(function->help, "h");
  EXPECT_TRUE(function->threadSafe);
  EXPECT_TRUE(function->async);
  ASSERT_EQ(function->arguments.size(), 1u);
  EXPECT_EQ(function->arguments[0].name, "body");
  EXPECT_EQ(function->registry, &registry);

  BindingRegistry other;
  EXPECT_FALSE(other.removeFunction(function));
  EXPECT_TRUE(registry.removeFunction(function));
  EXPECT_EQ(disposedInvokers, 2);
  EXPECT_EQ(registry.changeCounter(), start + 2);
  EXPECT_EQ(registry.findFunction("F"), nullptr);
  EXPECT_FALSE(registry.removeFunction(nullptr));
}

TEST(BindingRegistry, EventsKeepTheFirstRegistrationAndCanBeRemoved) {
  BindingRegistry registry;
  regtest::registerTestTypes(registry);
  registry.registerEvent("OnThing", registry.findType("Key")).setDescription("d").addTag("x");
  auto again = registry.registerEvent("OnThing", nullptr);
  EXPECT_TRUE(again.existed());
  again.setDescription("other");
  const tev::BindingEventDescriptor* event = registry.findEvent("OnThing");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->dataType, registry.findType("Key"));
  EXPECT_EQ(event->description, "d");
  EXPECT_TRUE(registry.removeEvent("OnThing"));
  EXPECT_FALSE(registry.removeEvent("OnThing"));
  EXPECT_EQ(registry.findEvent("OnThing"), nullptr);
}

TEST(BindingRegistry, SnapshotsListEverythingRegistered) {
  BindingRegistry registry;
  regtest::registerTestTypes(registry);
  registry.registerEvent("E", nullptr);
  registry.registerFunction("F", {}, {}, nullptr);
  registry.registerFunction("G", {}, {}, nullptr);
  EXPECT_EQ(registry.typeSnapshot().size(), 4u);
  EXPECT_EQ(registry.eventSnapshot().size(), 1u);
  EXPECT_EQ(registry.functionSnapshot().size(), 2u);
}

TEST(BindingRegistry, InitializeRegistersTheBuiltinsAndShutdownEmptiesEverything) {
  BindingRegistry registry;
  EXPECT_FALSE(registry.initialized());
  registry.shutdown();  // not initialised: nothing happens
  registry.initialize();
  EXPECT_TRUE(registry.initialized());
  for (const char* name :
       {"BindingAsyncState", "BindingGenericEvent", "BindingCallbackEvent",
        "BindingGenericAsyncEvent", "BindingAsyncFailureEvent", "BindingAsyncCancelEvent",
        "BindingHelpFormat", "BindingFullTypeIdentifier", "BindingFullArgumentHelp",
        "BindingFullFunctionHelp", "BindingFullEnumValueHelp", "BindingFullFieldHelp",
        "BindingFullTypeHelp", "BindingFullEventHelp", "BindingFullApiHelp"}) {
    const tev::BindingTypeDescriptor* type = registry.findType(name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(type->tags.at(0), "$builtin") << name;
    EXPECT_TRUE(type->nameSpace.empty());
  }
  EXPECT_EQ(registry.typeSnapshot().size(), 15u);
  const tev::BindingEventDescriptor* onCallback = registry.findEvent("OnCallback");
  ASSERT_NE(onCallback, nullptr);
  EXPECT_EQ(onCallback->dataType, registry.findType("BindingCallbackEvent"));

  auto builder = tev::registerBindingType<Plain>(registry, "Plain");
  tev::BindingFieldSpec spec;
  spec.name = "a";
  builder.addField(spec, countingConverter());
  registry.registerFunction("F", {}, {}, countingInvoker());
  disposedConverters = 0;
  disposedInvokers = 0;
  const std::uint32_t changes = registry.changeCounter();
  registry.shutdown();
  EXPECT_FALSE(registry.initialized());
  EXPECT_EQ(disposedConverters, 1);
  EXPECT_EQ(disposedInvokers, 1);
  EXPECT_EQ(registry.changeCounter(), changes + 1);
  EXPECT_TRUE(registry.typeSnapshot().empty());
  EXPECT_TRUE(registry.eventSnapshot().empty());
  EXPECT_TRUE(registry.functionSnapshot().empty());
  EXPECT_EQ(registry.findType(tev::bindingTypeInfo<tev::BindingAsyncState>().identifier), nullptr);
}

TEST(BindingRegistry, ReinitialisingRebuildsTheSameBuiltins) {
  BindingRegistry registry;
  registry.initialize();
  tev::registerBindingType<Plain>(registry, "Plain");
  registry.initialize();  // shuts down first: Plain goes
  EXPECT_EQ(registry.findType("Plain"), nullptr);
  EXPECT_EQ(registry.typeSnapshot().size(), 15u);
  const tev::BindingTypeDescriptor* state = registry.findType("BindingAsyncState");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->enumerators.size(), 6u);
  EXPECT_EQ(registry.findType("BindingFullTypeHelp")->fields.size(), 7u);
}
