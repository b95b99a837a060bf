// The purchase widget library as a host sees it: the version handshake, the descriptor, the
// entry table and the plugin-manager part of its API table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/host_test_support.h"

namespace plugintest {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Version {
  std::uint32_t major, minor, patch;
};

TEST(PluginLoad, CompatibleHostsGetTheFilledDescriptor) {
  for (const Version version : {Version{18, 0, 0}, Version{18, 5, 2}, Version{18, 0, 7}}) {
    auto host = openWidgetLibrary();
    host->load(version.major, version.minor, version.patch);
    ASSERT_TRUE(host->loaded()) << version.minor << "." << version.patch;
    const PluginDescriptor& descriptor = host->descriptor();
    EXPECT_EQ(descriptor.major, 18u);
    EXPECT_EQ(descriptor.minor, 0u);
    EXPECT_EQ(descriptor.patch, 0u);
    EXPECT_NE(descriptor.context, nullptr);
    ASSERT_NE(descriptor.shortName, nullptr);
    EXPECT_STREQ(descriptor.shortName, "tev-purchase-widget");
    ASSERT_NE(descriptor.apiTable, nullptr);
    const PluginEntryTable& entries = *descriptor.entryTable;
    EXPECT_NE(entries.initialize, nullptr);
    EXPECT_NE(entries.shutdown, nullptr);
    EXPECT_NE(entries.getMemoryStatistics, nullptr);
  }
}

// The descriptor the refused host passed, and what an abort handler saw of it.
PluginDescriptor* gRefusedDescriptor = nullptr;
constexpr std::uintptr_t kUntouched = static_cast<std::uintptr_t>(0xA5A5A5A5u);

extern "C" void reportDescriptorOnAbort(int) {
  const PluginDescriptor& d = *gRefusedDescriptor;
  const bool untouched = reinterpret_cast<std::uintptr_t>(d.entryTable) == kUntouched &&
                         reinterpret_cast<std::uintptr_t>(d.context) == kUntouched &&
                         reinterpret_cast<std::uintptr_t>(d.shortName) == kUntouched &&
                         reinterpret_cast<std::uintptr_t>(d.apiTable) == kUntouched;
  std::fprintf(stderr, "\nversion words %u.%u.%u; descriptor from offset 12 %s\n", d.major, d.minor,
               d.patch, untouched ? "untouched" : "WRITTEN");
  std::fflush(stderr);
}

void loadRefused(Version version) {
  auto host = openWidgetLibrary();
  gRefusedDescriptor = &host->descriptor();
  std::signal(SIGABRT, &reportDescriptorOnAbort);
  host->load(version.major, version.minor, version.patch, kUntouched);
  std::fprintf(stderr, "the process went on after the load\n");
}

TEST(PluginLoadDeathTest, IncompatibleHostsEndTheProcessWithTheReport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(loadRefused({17, 9, 9}),
               AllOf(HasSubstr("Assertion failed!\n\nExpression: ALE-EECF0606"),
                     HasSubstr("tev-purchase-widget which supports plugin API 18.0.0 is not "
                               "compatible with core's plugin API 17.9.9"),
                     HasSubstr("version words 17.9.9; descriptor from offset 12 untouched")));
  EXPECT_DEATH(loadRefused({19, 0, 0}),
               AllOf(HasSubstr("Assertion failed!\n\nExpression: ALE-EECF0606"),
                     HasSubstr("version words 19.0.0; descriptor from offset 12 untouched")));
  EXPECT_DEATH(loadRefused({0, 0, 0}),
               AllOf(HasSubstr("Assertion failed!\n\nExpression: ALE-EECF0606"),
                     HasSubstr("version words 0.0.0; descriptor from offset 12 untouched")));
}

TEST(PluginMemoryStatistics, CountsTheLoadAndEndsWithAZeroTail) {
  auto host = openWidgetLibrary();
  host->load(18, 0, 0);
  ASSERT_TRUE(host->loaded());
  const MemoryStatistics loaded = host->memoryStatistics(0xA5);
  EXPECT_GT(loaded.allocations, 0u);
  EXPECT_GT(loaded.bytesAllocated, 0u);
  EXPECT_GE(loaded.peakBytesInUse, loaded.bytesAllocated - loaded.bytesFreed);
  EXPECT_LE(loaded.peakBytesInUse, loaded.bytesAllocated);
  EXPECT_GT(loaded.liveBlocksAtPeak, 0u);
  for (const std::uint8_t byte : loaded.reserved) EXPECT_EQ(byte, 0u);

  ASSERT_TRUE(host->initialize());
  host->shutdown();
  // Everything the plugin object held is given back; the peak stays where it was.
  const MemoryStatistics after = host->memoryStatistics();
  EXPECT_EQ(after.bytesFreed, after.bytesAllocated);
  EXPECT_EQ(after.frees, after.allocations);
  EXPECT_GE(after.peakBytesInUse, loaded.peakBytesInUse);
  EXPECT_GT(after.allocations, loaded.allocations);
}

TEST(PluginLifecycle, InitializeRegistersTheServiceProxyHandlersAndShutdownRemovesThem) {
  auto host = openWidgetLibrary();
  host->load(18, 0, 0);
  ASSERT_TRUE(host->initialize(0x1234));
  // The service-proxy handlers come first, before the feature starts.
  ASSERT_GE(host->calls.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(host->calls.begin(), host->calls.begin() + 3),
              ElementsAre("addEventHandler OnServiceProxyUuidEvent 1",
                          "addEventHandler OnServiceProxyMethodEvent 1",
                          "addEventHandler OnServiceProxyAsyncEvent 1"));
  for (const EventHandlerRecord& handler : host->handlers) {
    EXPECT_EQ(handler.handle, 0x1234u);
    EXPECT_NE(handler.callback, nullptr);
    EXPECT_EQ(handler.context, host->descriptor().context) << "the plugin object comes back";
  }
  const std::size_t registered = host->handlers.size();
  host->shutdown();
  EXPECT_THAT(host->handlers, IsEmpty());
  EXPECT_EQ(host->removedHandlers.size(), registered);
  EXPECT_THAT(host->removedHandlers, Contains("OnServiceProxyAsyncEvent"));
}

TEST(PluginApiTable, ListsThePluginManagerTypesAndEvents) {
  auto host = openWidgetLibrary();
  host->load(18, 0, 0);
  const PluginApiTable& table = *host->descriptor().apiTable;
  std::vector<std::string> types;
  for (std::uint32_t i = 0; i < table.typeCount; ++i) {
    const ApiTypeRecord& type = table.types[i];
    if (type.tagCount == 1 && std::strcmp(type.tags[0], "oclient") == 0) types.push_back(type.name);
  }
  EXPECT_THAT(types, ::testing::UnorderedElementsAre(
                         "PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                         "PluginResourceEvent", "PluginKestEvent", "PluginKestResponse",
                         "PluginServiceProxyResponse"));
  std::vector<std::string> events;
  for (std::uint32_t i = 0; i < table.eventCount; ++i) events.push_back(table.events[i].name);
  EXPECT_THAT(events,
              AllOf(Contains("OnJsonApiEvent"), Contains("OnKestEvent"),
                    Contains("OnServiceProxyUuidEvent"), Contains("OnServiceProxyMethodEvent"),
                    Contains("OnServiceProxyAsyncEvent")));
}

TEST(PluginLifecycle, AFailedStartFailsInitialize) {
  auto host = loadTestPlugin();
  EXPECT_FALSE(host->initialize(0xDEAD));
  host->shutdown();
  EXPECT_THAT(host->handlers, IsEmpty());
}

TEST(PluginLifecycle, ShutdownRemovesEveryHandler) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  post(*host, "subscribe", R"({"path":"/tev-login/v1/session"})");
  // Three service-proxy handlers, the two observed resources and the subscription.
  EXPECT_EQ(host->handlers.size(), 6u);
  host->calls.clear();
  host->shutdown();
  EXPECT_THAT(host->handlers, IsEmpty());
  EXPECT_EQ(host->removedHandlers.size(), 6u);
  EXPECT_EQ(host->calls.size(), 6u) << "Shutdown only removes handlers";
}

TEST(PluginLifecycle, TheHostConnectionNeedOnlyLiveDuringInitialize) {
  // TestHost::initialize overwrites its connection record right after the call; later host
  // calls must still reach the right table with the right handle.
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize(0x77));
  post(*host, "subscribe", R"({"path":"/a/b"})");
  ASSERT_FALSE(host->handlers.empty());
  EXPECT_EQ(host->handlers.back().name, "OnJsonApiEvent_a_b");
  EXPECT_EQ(host->handlers.back().handle, 0x77u);
}

}  // namespace
}  // namespace plugintest
