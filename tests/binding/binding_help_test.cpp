#include "binding/binding_help.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/binding_builtin_types.h"
#include "registry_test_support.h"

namespace {

using tev::BindingBuiltinType;
using tev::BindingProperty;
using tev::BindingRegistry;

class BindingHelp : public ::testing::Test {
 protected:
  BindingHelp() { registry_.initialize(); }

  const tev::BindingTypeDescriptor& type(const char* name) { return *registry_.findType(name); }

  BindingRegistry registry_;
};

TEST(EpytextEscape, ReplacesALeadingMinusAndEveryBrace) {
  EXPECT_EQ(tev::epytextEscape("-a {b} - c"), "E{-}a E{lb}bE{rb} - c");
  EXPECT_EQ(tev::epytextEscape("a-b"), "a-b");
  EXPECT_EQ(tev::epytextEscape(""), "");
}

TEST_F(BindingHelp, EpytextOfAnEnumerationListsValuesInValueOrder) {
  EXPECT_EQ(tev::epytextTypeText(type("BindingAsyncState")),
            "Possible states of an asynchronous operation.\r\n\r\n"
            "@cvar None: (0) Invalid state\r\n"
            "@cvar Running: (1) The operation is in flight\r\n"
            "@cvar Cancelling: (2) A request to cancel the operation has been made\r\n"
            "@cvar Cancelled: (3) The operation was cancelled\r\n"
            "@cvar Succeeded: (4) The operation completed successfully\r\n"
            "@cvar Failed: (5) The operation encountered an error\r\n"
            "@tags: $builtin,async\r\n"
            "@size: 4\r\n");
}

TEST_F(BindingHelp, EpytextOfARecordAndAnEvent) {
  EXPECT_EQ(tev::epytextTypeText(type("BindingCallbackEvent")),
            "Represents the parameters of a call to a provided callback.\r\n\r\n"
            "@ivar id: ID of the callback being invoked\r\n"
            "@type id: uint32\r\n"
            "@ivar parameters: Callback parameters\r\n"
            "@type parameters: list[object]\r\n"
            "@tags: $builtin\r\n");
  EXPECT_EQ(tev::epytextEventText(*registry_.findEvent("OnCallback")),
            "Fired when a callback is invoked.\r\n\r\n@tags: $builtin\r\n");
}

TEST_F(BindingHelp, EpytextOfFunctions) {
  tev::BindingFunctionDescriptor bare;
  EXPECT_EQ(tev::epytextFunctionText(bare), "");
  bare.threadSafe = true;
  EXPECT_EQ(tev::epytextFunctionText(bare), "@threadsafe: true\r\n");

  tev::BindingFunctionDescriptor full;
  full.description = "-Does {it}";
  full.help = "More.";
  full.arguments.resize(2);
  full.arguments[0].name = "a";
  full.arguments[0].description = "First";
  full.arguments[0].optional = true;
  full.arguments[0].type = {BindingBuiltinType::kBlob};
  full.arguments[1].name = "b";
  full.arguments[1].type = {BindingBuiltinType::kMap, BindingBuiltinType::kStruct,
                            &type("BindingGenericEvent")};
  full.returnType = {BindingBuiltinType::kStruct, BindingBuiltinType::kNone,
                     &type("BindingAsyncFailureEvent")};
  full.tags.push_back("x");
  full.tags.push_back("y");
  full.async = true;
  EXPECT_EQ(tev::epytextFunctionText(full),
            "E{-}Does E{lb}itE{rb}\r\n\r\n"
            "More.\r\n\r\n"
            "@param a: (optional) First\r\n"
            "@type a: bytearray\r\n"
            "@type b: dict[L{BindingGenericEvent}]\r\n"
            "@rtype: L{BindingAsyncFailureEvent}\r\n"
            "@tags: x,y\r\n"
            "@async: L{BindingAsyncFailureEvent}\r\n");
}

TEST_F(BindingHelp, TypeTextsOfBothFormats) {
  tev::BindingTypeDescriptor item;
  item.name = "Item";
  const tev::BindingTypeIdentifier items{BindingBuiltinType::kVector, BindingBuiltinType::kStruct,
                                         &item};
  EXPECT_EQ(tev::fullTypeIdentifier(items).type, "vector");
  EXPECT_EQ(tev::fullTypeIdentifier(items).elementType, "Item");
  EXPECT_EQ(tev::epytextTypeText(items), "list[L{Item}]");

  const tev::BindingTypeIdentifier unresolved{BindingBuiltinType::kEnum};
  EXPECT_EQ(tev::fullTypeIdentifier(unresolved).type, "enum");
  EXPECT_EQ(tev::epytextTypeText(unresolved), "L{}");
  EXPECT_EQ(tev::fullTypeIdentifier({BindingBuiltinType::kCallback}).type, "callback");
  EXPECT_EQ(tev::fullTypeIdentifier({BindingBuiltinType::kCallback}).elementType, "");
  EXPECT_EQ(tev::epytextTypeText(tev::BindingTypeIdentifier{BindingBuiltinType::kObject}),
            "object");
  EXPECT_EQ(tev::epytextTypeText(tev::BindingTypeIdentifier{}), "");
  EXPECT_EQ(tev::epytextTypeText(tev::BindingTypeIdentifier{static_cast<BindingBuiltinType>(77)}),
            "");
}

TEST_F(BindingHelp, FullHelpListsEnumeratorsByNameAndFieldsInOrder) {
  tev::BindingResult result;
  ASSERT_TRUE(tev::buildBindingHelp(result, tev::BindingHelpFormat::kFull, registry_));
  const BindingProperty& types = result.value().getMember("types");
  ASSERT_EQ(types.size(), 15u);
  // Sorted by name: BindingAsyncCancelEvent, BindingAsyncFailureEvent, BindingAsyncState, ...
  const BindingProperty& state = types.getElement(2);
  EXPECT_EQ(state.getMember("name").getString(), "BindingAsyncState");
  EXPECT_EQ(state.getMember("size").getUnsigned(), 4u);
  std::string order;
  for (const BindingProperty& value : state.getMember("values").elements()) {
    order += std::string(value.getMember("name").getString()) + ",";
  }
  EXPECT_EQ(order, "Cancelled,Cancelling,Failed,None,Running,Succeeded,");
  EXPECT_EQ(regtest::describe(state.getMember("tags")), "[\"$builtin\",\"async\"]");

  const BindingProperty& callback = types.getElement(3);
  EXPECT_EQ(callback.getMember("name").getString(), "BindingCallbackEvent");
  EXPECT_EQ(regtest::describe(callback.getMember("fields")),
            "[{description:\"ID of the callback being invoked\",name:\"id\",offset:u0,"
            "optional:false,type:{elementType:\"\",type:\"uint32\"}},"
            "{description:\"Callback parameters\",name:\"parameters\",offset:u" +
                std::to_string(offsetof(tev::BindingCallbackEvent, parameters)) +
                ",optional:false,type:{elementType:\"object\",type:\"vector\"}}]");

  const BindingProperty& events = result.value().getMember("events");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(regtest::describe(events.getElement(0)),
            "{description:\"Fired when a callback is invoked.\",name:\"OnCallback\","
            "nameSpace:\"\",tags:[\"$builtin\"],type:{elementType:\"\",type:"
            "\"BindingCallbackEvent\"}}");
  EXPECT_TRUE(result.value().getMember("functions").isEmpty());
}

TEST_F(BindingHelp, FullHelpOfAFunctionNamesItsAsyncResultType) {
  tev::Vector<tev::BindingFunctionArgument> arguments(1);
  arguments[0].name = "token";
  arguments[0].type = {BindingBuiltinType::kUint32};
  arguments[0].optional = true;
  registry_
      .registerFunction("Later", std::move(arguments),
                        {BindingBuiltinType::kStruct, BindingBuiltinType::kNone,
                         &type("BindingGenericAsyncEvent")},
                        nullptr)
      .setAsync(true)
      .addTag("t");
  registry_.registerFunction("Aaa", {}, {}, nullptr);
  tev::BindingResult result;
  ASSERT_TRUE(tev::buildBindingHelp(result, tev::BindingHelpFormat::kFull, registry_));
  const BindingProperty& functions = result.value().getMember("functions");
  ASSERT_EQ(functions.size(), 2u);
  EXPECT_EQ(functions.getElement(0).getMember("name").getString(), "Aaa");
  EXPECT_EQ(regtest::describe(functions.getElement(1)),
            "{arguments:[{description:\"\",name:\"token\",optional:true,"
            "type:{elementType:\"\",type:\"uint32\"}}],async:\"BindingGenericAsyncEvent\","
            "description:\"\",help:\"\",name:\"Later\",nameSpace:\"\","
            "returns:{elementType:\"\",type:\"BindingGenericAsyncEvent\"},tags:[\"t\"],"
            "threadSafe:false}");
}

TEST_F(BindingHelp, EpytextHelpMapsNamesToTexts) {
  tev::BindingResult result;
  ASSERT_TRUE(tev::buildBindingHelp(result, tev::BindingHelpFormat::kEpytext, registry_));
  const BindingProperty& types = result.value().getMember("types");
  EXPECT_TRUE(types.isStructure());
  EXPECT_EQ(types.size(), 15u);
  EXPECT_EQ(types.getMember("BindingHelpFormat").getString(),
            "Help format for binding functions and types.\r\n\r\n"
            "@cvar Full: (1) Native help format\r\n"
            "@cvar Epytext: (2) Python epytext format\r\n"
            "@tags: $builtin,help\r\n"
            "@size: 4\r\n");
  EXPECT_EQ(result.value().getMember("events").getMember("OnCallback").getString(),
            "Fired when a callback is invoked.\r\n\r\n@tags: $builtin\r\n");
}

TEST_F(BindingHelp, HelpRecordsAreDescribedAndTheirFieldsAreNot) {
  const struct {
    const char* name;
    const char* description;
    const char* fields;
  } records[] = {
      {"BindingFullTypeIdentifier", "Describes the type of a value.", "type,elementType,"},
      {"BindingFullArgumentHelp", "Describes a function parameter.",
       "name,description,type,optional,"},
      {"BindingFullFunctionHelp", "Describes a function.",
       "name,nameSpace,arguments,returns,description,help,threadSafe,async,tags,"},
      {"BindingFullEnumValueHelp", "Describes an enumerator.", "name,description,value,"},
      {"BindingFullFieldHelp", "Describes a member of a struct.",
       "name,description,offset,type,optional,"},
      {"BindingFullTypeHelp", "Describes a struct or enum type.",
       "name,nameSpace,size,description,tags,fields,values,"},
      {"BindingFullEventHelp", "Describes an event.", "name,nameSpace,type,description,tags,"},
      {"BindingFullApiHelp", "Describes the exposed native API.", "functions,types,events,"},
  };
  for (const auto& expected : records) {
    const tev::BindingTypeDescriptor* record = registry_.findType(expected.name);
    ASSERT_NE(record, nullptr) << expected.name;
    EXPECT_EQ(std::string(record->description), expected.description) << expected.name;
    std::string tags;
    for (const tev::String& tag : record->tags) tags += std::string(tag) + ",";
    EXPECT_EQ(tags, "$builtin,help,") << expected.name;
    std::string fields;
    for (const tev::BindingFieldDescriptor& field : record->fields) {
      fields += std::string(field.name) + ",";
      EXPECT_TRUE(field.description.empty()) << expected.name << "." << field.name;
    }
    EXPECT_EQ(fields, expected.fields) << expected.name;
  }
}

TEST_F(BindingHelp, EmptyListsGiveEmptyMembersInBothFormats) {
  registry_.removeEvent("OnCallback");
  for (const auto format : {tev::BindingHelpFormat::kFull, tev::BindingHelpFormat::kEpytext}) {
    tev::BindingResult result;
    ASSERT_TRUE(tev::buildBindingHelp(result, format, registry_));
    EXPECT_TRUE(result.value().hasMember("events"));
    EXPECT_TRUE(result.value().getMember("events").isEmpty());
    EXPECT_TRUE(result.value().getMember("functions").isEmpty());
  }
}

TEST(BindingHelpWithoutBuiltins, FullFormatFailsWhenHelpTypesAreMissing) {
  BindingRegistry registry;
  regtest::registerTestTypes(registry);
  tev::BindingResult result;
  EXPECT_FALSE(tev::buildBindingHelp(result, tev::BindingHelpFormat::kFull, registry));
  EXPECT_EQ(result.error(),
            "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_TRUE(tev::buildBindingHelp(result, tev::BindingHelpFormat::kEpytext, registry));
}

}  // namespace
