// The API table: endpoint records, the entries and records built from them and the registry,
// their packed 32-bit layout read back byte by byte, and the way from an entry's context back
// to its endpoint.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_field_registration.h"
#include "platform/allocator_hooks.h"
#include "router/native_invoker.h"
#include "router/router.h"
#include "router_test_support.h"

namespace tev::api_table_test {

enum class Colour : std::int32_t { kRed = 1, kBlue = 2 };

struct Config {
  bool enabled = false;
  Colour colour = Colour::kRed;
  Vector<Colour> palette;
  std::optional<std::int64_t> limit;
};

struct Request {
  Config config;
  String note;
};

struct Empty {};

}  // namespace tev::api_table_test

TEV_BINDING_TYPE(tev::api_table_test::Colour);
TEV_BINDING_TYPE(tev::api_table_test::Config);
TEV_BINDING_TYPE(tev::api_table_test::Request);
TEV_BINDING_TYPE(tev::api_table_test::Empty);

namespace tev::api_table_test {
namespace {

using testing::str;

class ApiTableTest : public ::testing::Test {
 protected:
  ApiTableTest() {
    BindingTypeBuilder colour = registerBindingType<Colour>(router_, "TestColour");
    colour.addEnumerator("Red", 1, "warm").addEnumerator("Blue", 2).setDescription("Colours");
    BindingTypeBuilder config = registerBindingType<Config>(router_, "TestConfig");
    addBindingField(config, "enabled", &Config::enabled);
    addBindingField(config, "colour", &Config::colour, 0, "the colour");
    addBindingField(config, "palette", &Config::palette);
    addBindingField(config, "limit", &Config::limit);
    config.addTags({"t1", "t2"});
    BindingTypeBuilder request = registerBindingType<Request>(router_, "TestRequest");
    addBindingField(request, "config", &Request::config);
    addBindingField(request, "note", &Request::note);
    registerBindingType<Empty>(router_, "TestEmpty");
    router_.registerEvent("OnTestConfig", &config.descriptor()).setDescription("changed");

    const Vector<String> tags{"tev", "v1"};
    EndpointDefinition get;
    get.method = HttpMethod::kGet;
    get.path = "/tev-test/v1/configuration/";
    get.tags = tags;
    addNativeEndpoint(router_, get, {}, [this] {
      ++calls_;
      Config result;
      result.enabled = true;
      return result;
    });
    for (const char* path : {"/tev-test/v1/validateItems", "/tev-test/v1/purchaseItems"}) {
      EndpointDefinition post;
      post.method = HttpMethod::kPost;
      post.path = path;
      post.tags = tags;
      post.locations = {ArgumentLocation::kBody};
      addNativeEndpoint(router_, post, {"request"}, [](Request) { return BindingProperty(); });
    }
  }

  // The entry whose function has `name`, or null.
  const ApiEndpointEntry* entry(const PluginApiTable& table, const char* name) {
    for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
      if (std::strcmp(table.endpoints[i].function.name, name) == 0) return &table.endpoints[i];
    }
    return nullptr;
  }
  const ApiTypeRecord* type(const PluginApiTable& table, const char* name) {
    for (std::uint32_t i = 0; i < table.typeCount; ++i) {
      if (std::strcmp(table.types[i].name, name) == 0) return &table.types[i];
    }
    return nullptr;
  }

  Router router_;
  int calls_ = 0;
};

TEST_F(ApiTableTest, RegisterEndpointKeepsOneRecordPerFunction) {
  Vector<BindingFunctionArgument> arguments(3);
  const BindingFunctionDescriptor& function =
      router_.registerFunction("Plain", arguments, {}, nullptr).descriptor();
  Endpoint& first = router_.registerEndpoint(function);
  EXPECT_EQ(first.function, &function);
  EXPECT_EQ(first.invoker, nullptr);
  EXPECT_EQ(first.locations, Vector<ArgumentLocation>(3, ArgumentLocation::kAny));
  first.pathTemplate = "/plain";
  EXPECT_EQ(&router_.registerEndpoint(function), &first);
  EXPECT_EQ(str(router_.registerEndpoint(function).pathTemplate), "/plain");
}

// Hands the block of one descriptor the registry frees to the next descriptor it creates, as a
// heap may well do, so that whatever is kept under the old address meets a different function.
class DescriptorAddressReuse {
 public:
  explicit DescriptorAddressReuse(const BindingFunctionDescriptor* freed) {
    saved_ = allocatorHooks();
    freed_ = freed;
    parked_ = nullptr;
    allocatorHooks().allocate = &allocate;
    allocatorHooks().free = &free;
  }
  ~DescriptorAddressReuse() {
    allocatorHooks().allocate = saved_.allocate;
    allocatorHooks().free = saved_.free;
    if (parked_ != nullptr) hookedFree(parked_);
  }
  DescriptorAddressReuse(const DescriptorAddressReuse&) = delete;
  DescriptorAddressReuse& operator=(const DescriptorAddressReuse&) = delete;

 private:
  static void* allocate(std::size_t size, void* context) {
    if (parked_ != nullptr && size == sizeof(BindingFunctionDescriptor)) {
      return std::exchange(parked_, nullptr);
    }
    return saved_.allocate(size, context);
  }
  static void free(void* block, void* context) {
    if (block != nullptr && block == freed_) {
      parked_ = block;
      freed_ = nullptr;
      return;
    }
    saved_.free(block, context);
  }

  static inline AllocatorHooks saved_{};
  static inline const void* freed_ = nullptr;
  static inline void* parked_ = nullptr;
};

TEST_F(ApiTableTest, AFunctionAtARemovedFunctionsAddressGetsAFreshRecord) {
  const BindingFunctionDescriptor* removed = router_.findFunction("PostTevTestV1ValidateItems");
  ASSERT_NE(removed, nullptr);
  Endpoint& old = router_.registerEndpoint(*removed);
  ASSERT_NE(old.invoker, nullptr);
  const BindingFunctionDescriptor* later = nullptr;
  {
    DescriptorAddressReuse reuse(removed);
    ASSERT_TRUE(router_.removeFunction(removed));
    later = &router_.registerFunction("Later", Vector<BindingFunctionArgument>(3), {}, nullptr)
                 .descriptor();
  }
  ASSERT_EQ(later, removed) << "the heap stand-in did not hand the address on";

  Endpoint& fresh = router_.registerEndpoint(*later);
  EXPECT_EQ(&fresh, &old) << "records stay where they are: a built table points at them";
  EXPECT_EQ(fresh.function, later);
  EXPECT_EQ(fresh.invoker, nullptr) << "the removed function's invoker is gone";
  EXPECT_EQ(str(fresh.pathTemplate), "");
  EXPECT_EQ(fresh.method, HttpMethod::kAny);
  EXPECT_TRUE(fresh.tagLists.empty());
  EXPECT_EQ(fresh.locations, Vector<ArgumentLocation>(3, ArgumentLocation::kAny));
  fresh.pathTemplate = "/later";
  EXPECT_EQ(str(router_.registerEndpoint(*later).pathTemplate), "/later") << "kept from now on";
}

TEST_F(ApiTableTest, AnEndpointAtARemovedFunctionsAddressIsOnlyItself) {
  const BindingFunctionDescriptor* removed = router_.findFunction("PostTevTestV1ValidateItems");
  ASSERT_NE(removed, nullptr);
  const Vector<String> tags{"later"};
  EndpointDefinition later;
  later.method = HttpMethod::kGet;
  later.path = "/tev-test/v1/later";
  later.tags = tags;
  {
    DescriptorAddressReuse reuse(removed);
    ASSERT_TRUE(router_.removeFunction(removed));
    addNativeEndpoint(router_, later, {}, [this] {
      ++calls_;
      return Config();
    });
  }
  ASSERT_EQ(router_.findFunction("GetTevTestV1Later"), removed)
      << "the heap stand-in did not hand the address on";

  const PluginApiTable table = router_.buildApiTable();
  EXPECT_EQ(table.endpointCount, 3u);
  const ApiEndpointEntry* entryOfLater = entry(table, "GetTevTestV1Later");
  ASSERT_NE(entryOfLater, nullptr);
  EXPECT_EQ(testing::field(entryOfLater->locations), nullptr) << "no argument, no location";
  ASSERT_EQ(testing::field(entryOfLater->tagListCount), 1u) << "only its own tag list";
  EXPECT_STREQ(entryOfLater->tagLists[0].tags[0], "later");
  testing::TestRequest request;
  request.target = "/tev-test/v1/later";
  testing::RequestRecord record(request, testing::field(entryOfLater->function.context));
  HostEndpointResponse response{};
  testing::field(entryOfLater->callback)(&response, &record.record());
  EXPECT_EQ(testing::field(response.hasError), 0);
  response.cleanup(&response);
  EXPECT_EQ(calls_, 1);
}

TEST_F(ApiTableTest, APlainFunctionAtARemovedEndpointsAddressIsNoEndpoint) {
  const BindingFunctionDescriptor* removed = router_.findFunction("PostTevTestV1ValidateItems");
  ASSERT_NE(removed, nullptr);
  {
    DescriptorAddressReuse reuse(removed);
    ASSERT_TRUE(router_.removeFunction(removed));
    ASSERT_EQ(&router_.registerFunction("Plain", {}, {}, nullptr).descriptor(), removed)
        << "the heap stand-in did not hand the address on";
  }
  // The old record, with the removed function's disposed invoker, must not be published under
  // the new function's name.
  const PluginApiTable table = router_.buildApiTable();
  EXPECT_EQ(table.endpointCount, 2u);
  EXPECT_EQ(entry(table, "Plain"), nullptr);
}

TEST_F(ApiTableTest, EndpointEntries) {
  const PluginApiTable table = router_.buildApiTable();
  ASSERT_EQ(table.endpointCount, 3u);
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    names.emplace_back(testing::field(table.endpoints[i].function.name));
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"GetTevTestV1Configuration", "PostTevTestV1PurchaseItems",
                                      "PostTevTestV1ValidateItems"}));
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    const ApiFunctionRecord* next = table.endpoints[i].function.next;
    EXPECT_EQ(next, i + 1 < table.endpointCount ? &table.endpoints[i + 1].function : nullptr);
    EXPECT_EQ(testing::field(table.endpoints[i].callback), &Router::handleRequest);
    EXPECT_NE(testing::field(table.endpoints[i].function.context), nullptr);
    EXPECT_EQ(testing::field(table.endpoints[i].function.zero), 0u);
  }

  const ApiEndpointEntry& get = *entry(table, "GetTevTestV1Configuration");
  EXPECT_EQ(testing::field(get.method), 2u);
  EXPECT_STREQ(testing::field(get.pathTemplate), "/tev-test/v1/configuration")
      << "trailing '/' dropped";
  EXPECT_EQ(testing::field(get.locations), nullptr);
  EXPECT_EQ(testing::field(get.function.argumentCount), 0u);
  EXPECT_EQ(testing::field(get.function.returnType), 17u);
  EXPECT_STREQ(testing::field(get.function.returnTypeName), "TestConfig");
  EXPECT_STREQ(testing::field(get.function.asyncTypeName), "");
  EXPECT_STREQ(testing::field(get.methodText), "");
  ASSERT_EQ(testing::field(get.function.tagCount), 2u);
  EXPECT_STREQ(get.function.tags[1], "v1");
  ASSERT_EQ(testing::field(get.tagListCount), 1u);
  EXPECT_EQ(testing::field(get.tagLists[0].tagCount), 2u);
  EXPECT_STREQ(get.tagLists[0].tags[0], "tev");

  const ApiEndpointEntry& post = *entry(table, "PostTevTestV1ValidateItems");
  EXPECT_EQ(testing::field(post.method), 6u);
  ASSERT_EQ(testing::field(post.function.argumentCount), 1u);
  EXPECT_STREQ(testing::field(post.function.arguments[0].name), "request");
  EXPECT_EQ(testing::field(post.function.arguments[0].type), 17u);
  EXPECT_STREQ(testing::field(post.function.arguments[0].typeName), "TestRequest");
  EXPECT_EQ(testing::field(post.function.arguments[0].next), nullptr);
  ASSERT_NE(testing::field(post.locations), nullptr);
  EXPECT_EQ(testing::field(post.locations[0].location), 5u);
  EXPECT_EQ(testing::field(post.locations[0].next), nullptr);
  EXPECT_EQ(testing::field(post.function.returnType), 13u);
}

TEST_F(ApiTableTest, TheContextLeadsTheCallbackToItsEndpoint) {
  const PluginApiTable table = router_.buildApiTable();
  const ApiEndpointEntry& get = *entry(table, "GetTevTestV1Configuration");
  testing::TestRequest request;
  request.target = "/tev-test/v1/configuration";
  testing::RequestRecord record(request, testing::field(get.function.context));
  HostEndpointResponse response{};
  testing::field(get.callback)(&response, &record.record());
  const testing::TestResponse read = testing::readResponse(response);
  response.cleanup(&response);
  EXPECT_FALSE(read.hasError) << read.error;
  EXPECT_EQ(read.valueJson, R"({"colour":"Red","enabled":true,"limit":null,"palette":[]})");
  EXPECT_EQ(calls_, 1);

  // The same context with another endpoint's method or path does not reach it.
  request.method = 6;
  testing::RequestRecord wrongMethod(request, testing::field(get.function.context));
  testing::field(get.callback)(&response, &wrongMethod.record());
  EXPECT_STREQ(testing::field(response.error), "Invalid function");
  EXPECT_EQ(testing::field(response.status), 404);
  response.cleanup(&response);
  request.target = "/tev-test/v1/validateItems";
  testing::RequestRecord wrongPath(request, testing::field(get.function.context));
  testing::field(get.callback)(&response, &wrongPath.record());
  EXPECT_EQ(testing::field(response.status), 404);
  response.cleanup(&response);
  // No context at all.
  testing::RequestRecord none(request);
  Router::handleRequest(&response, &none.record());
  EXPECT_EQ(testing::field(response.status), 404);
  response.cleanup(&response);
  Router::handleRequest(&response, nullptr);
  EXPECT_EQ(testing::field(response.status), 404);
  response.cleanup(&response);
  EXPECT_EQ(calls_, 1);
}

TEST_F(ApiTableTest, TypeAndEventRecords) {
  const PluginApiTable table = router_.buildApiTable();
  ASSERT_GT(table.typeCount, 4u);
  for (std::uint32_t i = 0; i + 1 < table.typeCount; ++i) {
    EXPECT_EQ(testing::field(table.types[i].next), &table.types[i + 1]);
    EXPECT_LT(std::strcmp(table.types[i].name, table.types[i + 1].name), 0) << "by name";
  }
  EXPECT_EQ(testing::field(table.types[table.typeCount - 1].next), nullptr);

  const ApiTypeRecord& empty = *type(table, "TestEmpty");
  EXPECT_EQ(testing::field(empty.fields), nullptr);
  EXPECT_EQ(testing::field(empty.enumerators), nullptr);
  EXPECT_EQ(testing::field(empty.memberCount), 0u);

  const ApiTypeRecord& colour = *type(table, "TestColour");
  EXPECT_EQ(testing::field(colour.fields), nullptr);
  ASSERT_EQ(testing::field(colour.memberCount), 2u);
  EXPECT_STREQ(testing::field(colour.enumerators[0].name), "Blue");  // by name
  EXPECT_EQ(testing::field(colour.enumerators[0].value), 2);
  EXPECT_EQ(testing::field(colour.enumerators[0].next), &colour.enumerators[1]);
  EXPECT_STREQ(testing::field(colour.enumerators[1].description), "warm");
  EXPECT_EQ(testing::field(colour.size), 4u);
  EXPECT_STREQ(testing::field(colour.description), "Colours");

  const ApiTypeRecord& config = *type(table, "TestConfig");
  EXPECT_EQ(testing::field(config.enumerators), nullptr);
  ASSERT_EQ(testing::field(config.memberCount), 4u);
  EXPECT_EQ(testing::field(config.size), sizeof(Config));
  ASSERT_EQ(testing::field(config.tagCount), 2u);
  EXPECT_STREQ(config.tags[0], "t1");
  const ApiFieldRecord* fields = config.fields;
  EXPECT_STREQ(testing::field(fields[0].name), "enabled");
  EXPECT_EQ(testing::field(fields[0].type), 1u);
  EXPECT_STREQ(testing::field(fields[0].typeName), "");
  EXPECT_STREQ(testing::field(fields[1].name), "colour");
  EXPECT_STREQ(testing::field(fields[1].description), "the colour");
  EXPECT_EQ(testing::field(fields[1].offset), offsetof(Config, colour));
  EXPECT_EQ(testing::field(fields[1].type), 16u);
  EXPECT_STREQ(testing::field(fields[1].typeName), "TestColour");
  EXPECT_EQ(testing::field(fields[2].type), 15u);
  EXPECT_EQ(testing::field(fields[2].elementType), 16u);
  EXPECT_STREQ(testing::field(fields[2].typeName), "TestColour");
  EXPECT_EQ(testing::field(fields[3].type), 8u);
  EXPECT_EQ(testing::field(fields[3].optional), 1u);
  EXPECT_EQ(testing::field(fields[3].next), nullptr);

  bool found = false;
  for (std::uint32_t i = 0; i < table.eventCount; ++i) {
    if (std::strcmp(table.events[i].name, "OnTestConfig") != 0) continue;
    found = true;
    EXPECT_STREQ(testing::field(table.events[i].dataTypeName), "TestConfig");
    EXPECT_STREQ(testing::field(table.events[i].description), "changed");
  }
  EXPECT_TRUE(found);
}

TEST_F(ApiTableTest, RebuildingReplacesTheTableAndSkipsRemovedFunctions) {
  const PluginApiTable first = router_.buildApiTable();
  ASSERT_TRUE(router_.removeFunction(router_.findFunction("PostTevTestV1PurchaseItems")));
  const PluginApiTable second = router_.buildApiTable();
  EXPECT_EQ(second.endpointCount, first.endpointCount - 1);
  EXPECT_EQ(entry(second, "PostTevTestV1PurchaseItems"), nullptr);
  EXPECT_EQ(second.typeCount, first.typeCount);
  const ApiEndpointEntry& get = *entry(second, "GetTevTestV1Configuration");
  testing::TestRequest request;
  request.target = "/tev-test/v1/configuration";
  testing::RequestRecord record(request, testing::field(get.function.context));
  HostEndpointResponse response{};
  testing::field(get.callback)(&response, &record.record());
  EXPECT_EQ(testing::field(response.hasError), 0);
  response.cleanup(&response);
}

// Little-endian 32-bit words and bytes at fixed offsets, as a host written in C would read them.
std::uint32_t word(const void* base, std::size_t offset) {
  std::uint32_t value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
  return value;
}
std::uint8_t byte(const void* base, std::size_t offset) {
  return static_cast<const unsigned char*>(base)[offset];
}
const char* text(const void* base, std::size_t offset) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(word(base, offset)));
}
const void* pointer(const void* base, std::size_t offset) {
  return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(word(base, offset)));
}
std::uint32_t address(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

TEST_F(ApiTableTest, PackedLayoutReadBackByteByByte) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "the host's layout is that of the 32-bit build";
  BindingFunctionArgument flag;
  flag.name = "verbose";
  flag.description = "more";
  flag.type.type = BindingBuiltinType::kBool;
  flag.optional = true;
  EndpointDefinition other;
  other.method = HttpMethod::kOther;
  other.methodText = "PURGE";
  other.path = "/purge/{what}";
  other.flag = 0xA5;
  other.arguments = {flag};
  other.locations = {ArgumentLocation::kQuery};
  addNativeEndpoint(router_, other, {"verbose"}, [](std::optional<bool>) {});
  const PluginApiTable table = router_.buildApiTable();

  EXPECT_EQ(sizeof table, 24u);
  EXPECT_EQ(pointer(&table, 0), table.endpoints);
  EXPECT_EQ(word(&table, 4), 4u);
  EXPECT_EQ(pointer(&table, 8), table.types);
  EXPECT_EQ(word(&table, 12), table.typeCount);
  EXPECT_EQ(pointer(&table, 16), table.events);
  EXPECT_EQ(word(&table, 20), table.eventCount);

  // Entries are 90 bytes apart; the purge endpoint sorts last.
  const auto* entries = reinterpret_cast<const unsigned char*>(table.endpoints);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(word(entries + 90 * i, 0), address(entries + 90 * (i + 1)));
  const unsigned char* purge = entries + 90 * 3;
  EXPECT_EQ(word(purge, 0), 0u);
  EXPECT_EQ(word(purge, 4), 0u);
  const auto* context = static_cast<const EndpointContext*>(pointer(purge, 8));
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->router, &router_);
  EXPECT_STREQ(text(purge, 12), "PurgePurgeByWhat");
  EXPECT_STREQ(text(purge, 16), "");
  const void* arguments = pointer(purge, 20);
  EXPECT_EQ(word(purge, 24), 1u);
  EXPECT_EQ(word(arguments, 0), 0u);
  EXPECT_STREQ(text(arguments, 4), "verbose");
  EXPECT_STREQ(text(arguments, 8), "more");
  EXPECT_EQ(word(arguments, 12), 1u);
  EXPECT_EQ(word(arguments, 16), 0u);
  EXPECT_STREQ(text(arguments, 20), "");
  EXPECT_EQ(byte(arguments, 24), 1u);
  EXPECT_EQ(word(purge, 28), 0u);  // returns nothing
  EXPECT_EQ(word(purge, 32), 0u);
  EXPECT_STREQ(text(purge, 36), "");
  EXPECT_STREQ(text(purge, 40), "");
  EXPECT_STREQ(text(purge, 44), "");
  EXPECT_EQ(byte(purge, 48), 0u);
  EXPECT_STREQ(text(purge, 49), "");
  EXPECT_EQ(word(purge, 53), 0u);
  EXPECT_EQ(word(purge, 57), 0u);
  EXPECT_EQ(word(purge, 61), address(reinterpret_cast<const void*>(&Router::handleRequest)));
  const void* locations = pointer(purge, 65);
  EXPECT_EQ(word(locations, 0), 0u);
  EXPECT_EQ(word(locations, 4), 1u);
  EXPECT_STREQ(text(purge, 69), "/purge/{what}");
  EXPECT_EQ(word(purge, 73), 8u);
  EXPECT_EQ(byte(purge, 77), 0xA5u);
  EXPECT_EQ(word(purge, 78), 0u);
  EXPECT_EQ(word(purge, 82), 0u);
  EXPECT_STREQ(text(purge, 86), "PURGE");

  // The GET entry's tags and tag list.
  const unsigned char* get = entries;
  EXPECT_STREQ(text(get, 12), "GetTevTestV1Configuration");
  EXPECT_EQ(word(get, 28), 17u);
  EXPECT_STREQ(text(get, 36), "TestConfig");
  EXPECT_EQ(word(get, 57), 2u);
  EXPECT_STREQ(static_cast<const char* const*>(pointer(get, 53))[0], "tev");
  const void* lists = pointer(get, 78);
  EXPECT_EQ(word(get, 82), 1u);
  EXPECT_EQ(word(lists, 0), 0u);
  EXPECT_STREQ(static_cast<const char* const*>(pointer(lists, 4))[1], "v1");
  EXPECT_EQ(word(lists, 8), 2u);
  EXPECT_EQ(word(get, 73), 2u);

  // Type, field and enumerator records.
  const auto* types = reinterpret_cast<const unsigned char*>(table.types);
  const unsigned char* config = nullptr;
  const unsigned char* colour = nullptr;
  for (std::size_t i = 0; i < table.typeCount; ++i) {
    const unsigned char* record = types + 40 * i;
    EXPECT_EQ(word(record, 0), i + 1 < table.typeCount ? address(record + 40) : 0u);
    if (std::strcmp(text(record, 4), "TestConfig") == 0) config = record;
    if (std::strcmp(text(record, 4), "TestColour") == 0) colour = record;
  }
  ASSERT_NE(config, nullptr);
  ASSERT_NE(colour, nullptr);
  EXPECT_STREQ(text(config, 8), "");
  EXPECT_EQ(word(config, 12), sizeof(Config));
  EXPECT_EQ(word(config, 24), 2u);
  EXPECT_STREQ(static_cast<const char* const*>(pointer(config, 20))[1], "t2");
  EXPECT_EQ(word(config, 32), 0u);
  EXPECT_EQ(word(config, 36), 4u);
  const auto* fields = static_cast<const unsigned char*>(pointer(config, 28));
  const unsigned char* palette = fields + 29 * 2;
  EXPECT_EQ(word(fields + 29, 0), address(palette));
  EXPECT_STREQ(text(palette, 4), "palette");
  EXPECT_STREQ(text(palette, 8), "");
  EXPECT_EQ(word(palette, 12), offsetof(Config, palette));
  EXPECT_EQ(word(palette, 16), 15u);
  EXPECT_EQ(word(palette, 20), 16u);
  EXPECT_STREQ(text(palette, 24), "TestColour");
  EXPECT_EQ(byte(palette, 28), 0u);
  EXPECT_EQ(byte(fields + 29 * 3, 28), 1u);
  EXPECT_EQ(word(colour, 28), 0u);
  const auto* enumerators = static_cast<const unsigned char*>(pointer(colour, 32));
  EXPECT_EQ(word(colour, 36), 2u);
  EXPECT_EQ(word(enumerators, 0), address(enumerators + 16));
  EXPECT_STREQ(text(enumerators, 4), "Blue");
  EXPECT_STREQ(text(enumerators + 16, 8), "warm");
  EXPECT_EQ(word(enumerators + 16, 12), 1u);
  EXPECT_EQ(word(enumerators + 16, 0), 0u);

  // Event records, 28 bytes.
  const auto* events = reinterpret_cast<const unsigned char*>(table.events);
  bool found = false;
  for (std::size_t i = 0; i < table.eventCount; ++i) {
    const unsigned char* record = events + 28 * i;
    EXPECT_EQ(word(record, 0), i + 1 < table.eventCount ? address(record + 28) : 0u);
    if (std::strcmp(text(record, 4), "OnTestConfig") != 0) continue;
    found = true;
    EXPECT_STREQ(text(record, 8), "");
    EXPECT_STREQ(text(record, 12), "TestConfig");
    EXPECT_STREQ(text(record, 16), "changed");
    EXPECT_EQ(word(record, 20), 0u);
    EXPECT_EQ(word(record, 24), 0u);
  }
  EXPECT_TRUE(found);
}

TEST_F(ApiTableTest, ApiHelpInBothFormats) {
  BindingResult full;
  ASSERT_TRUE(router_.describeApi(full, BindingHelpFormat::kFull));
  bool listed = false;
  for (const BindingProperty& function : full.value().getMember("functions").elements()) {
    if (function.getMember("name").getString() != "PostTevTestV1ValidateItems") continue;
    listed = true;
    EXPECT_EQ(function.getMember("arguments").getElement(0).getMember("name").getString(),
              "request");
  }
  EXPECT_TRUE(listed);
  BindingResult epytext;
  ASSERT_TRUE(router_.describeApi(epytext, BindingHelpFormat::kEpytext));
  EXPECT_EQ(epytext.value().getMember("types").getMember("TestColour").getString(),
            "Colours\r\n\r\n@cvar Red: (1) warm\r\n@cvar Blue: (2)\r\n@size: 4\r\n");

  // Published: the format from a path placeholder or a direct argument, "Full" without one.
  router_.publishApiHelp("/help/{format}");
  const Endpoint& bare = router_.publishApiHelp("/help");
  EXPECT_EQ(router_.publishApiHelp("/help").function, bare.function) << "the first one stays";
  const PluginApiTable table = router_.buildApiTable();
  const auto ask = [&](const char* name, const char* target, std::optional<std::string> format) {
    const ApiEndpointEntry& help = *entry(table, name);
    testing::TestRequest request;
    request.target = target;
    if (format) {
      BindingProperty value;
      value.setString(*format);
      request.arguments.emplace_back(std::string("format"), value);
    }
    testing::RequestRecord record(request, testing::field(help.function.context));
    HostEndpointResponse response{};
    testing::field(help.callback)(&response, &record.record());
    testing::TestResponse read = testing::readResponse(response);
    response.cleanup(&response);
    return read;
  };
  const testing::TestResponse epytextByPath = ask("GetHelpByFormat", "/help/Epytext", {});
  ASSERT_FALSE(epytextByPath.hasError) << epytextByPath.error;
  EXPECT_TRUE(epytextByPath.value.getMember("functions").isStructure());
  const testing::TestResponse fullByDefault = ask("GetHelp", "/help", {});
  EXPECT_TRUE(fullByDefault.value.getMember("functions").isCollection());
  const testing::TestResponse epytextByArgument = ask("GetHelp", "/help", "Epytext");
  EXPECT_TRUE(epytextByArgument.value.getMember("types").isStructure());
  EXPECT_EQ(ask("GetHelp", "/help", "Plain").error,
            "Plain is not a valid BindingHelpFormat enumeration value for 'format'.");
}

}  // namespace
}  // namespace tev::api_table_test
