#include "logging/event_tracing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tev {
namespace {

using platform::TraceDataItem;
using platform::TraceEventDescriptor;
using platform::TraceFunctions;
using platform::TraceGuid;
using platform::TraceRegistration;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

bool sameGuid(const TraceGuid& a, const TraceGuid& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct WrittenEvent {
  std::uint64_t handle;
  TraceEventDescriptor descriptor;
  std::vector<std::string> items;  // each payload item's raw bytes
};

// A stand-in for the system's tracing: records every call, and can play a controller that is
// already listening to one provider when it registers.
struct FakeSystem {
  std::vector<TraceGuid> registered;
  std::vector<std::uint64_t> unregistered;
  std::vector<WrittenEvent> written;
  std::uint64_t nextHandle = 100;
  struct Controller {
    TraceGuid provider;
    std::uint8_t level;
    std::uint64_t matchAny;
    std::uint64_t matchAll;
  };
  std::optional<Controller> controller;
};

FakeSystem* gSystem = nullptr;

std::uint32_t fakeRegister(const TraceGuid& provider, TraceRegistration& registration) {
  gSystem->registered.push_back(provider);
  registration.handle = gSystem->nextHandle++;
  if (gSystem->controller && sameGuid(gSystem->controller->provider, provider)) {
    const FakeSystem::Controller& c = *gSystem->controller;
    registration.callback(&provider, platform::kTraceControlEnable, c.level, c.matchAny, c.matchAll,
                          registration.context);
  }
  return 0;
}

std::uint32_t fakeWrite(std::uint64_t handle, const TraceEventDescriptor& descriptor,
                        std::uint32_t itemCount, const TraceDataItem* items) {
  WrittenEvent event{handle, descriptor, {}};
  for (std::uint32_t i = 0; i < itemCount; ++i) {
    event.items.emplace_back(
        reinterpret_cast<const char*>(static_cast<std::uintptr_t>(items[i].address)),
        items[i].size);
  }
  gSystem->written.push_back(event);
  return 0;
}

std::uint32_t fakeUnregister(std::uint64_t handle) {
  gSystem->unregistered.push_back(handle);
  return 0;
}

class EventTracingTest : public ::testing::Test {
 protected:
  void SetUp() override { gSystem = &system_; }
  void TearDown() override { gSystem = nullptr; }

  FakeSystem system_;
  const TraceFunctions functions_{&fakeRegister, &fakeWrite, &fakeUnregister};
};

TEST_F(EventTracingTest, WithoutAControllerRegistersFourProvidersAndWritesNothing) {
  {
    EventTracing tracing(functions_);
    tracing.load(77, "Main thread");
    ASSERT_EQ(system_.registered.size(), 4u);
    for (std::size_t i = 0; i < kTraceProviderCount; ++i) {
      EXPECT_TRUE(sameGuid(system_.registered[i], kTraceProviderGuids[i])) << i;
      EXPECT_EQ(tracing.provider(i).handle(), 100 + i);
    }
    EXPECT_THAT(system_.written, IsEmpty());
    tracing.load(77, "Main thread");  // registered already: nothing more
    EXPECT_EQ(system_.registered.size(), 4u);
    tracing.unload();
    EXPECT_THAT(system_.unregistered, ElementsAre(100u, 101u, 102u, 103u));
    for (std::size_t i = 0; i < kTraceProviderCount; ++i)
      EXPECT_EQ(tracing.provider(i).handle(), 0u);
  }
  EXPECT_EQ(system_.unregistered.size(), 4u);  // the destructor finds nothing left
}

TEST_F(EventTracingTest, AListeningControllerGetsOneThreadNameEvent) {
  system_.controller = FakeSystem::Controller{kTraceProviderGuids[kThreadNameProvider], 4, 0x1, 0};
  EventTracing tracing(functions_);
  tracing.load(0x1234, "Main thread");
  ASSERT_EQ(system_.written.size(), 1u);
  const WrittenEvent& event = system_.written[0];
  EXPECT_EQ(event.handle, 101u);
  EXPECT_EQ(event.descriptor.id, 103);
  EXPECT_EQ(event.descriptor.version, 0);
  EXPECT_EQ(event.descriptor.channel, 0);
  EXPECT_EQ(event.descriptor.level, 0);
  EXPECT_EQ(event.descriptor.opcode, 14);
  EXPECT_EQ(event.descriptor.task, 2);
  EXPECT_EQ(event.descriptor.keyword, 0x1u);
  const std::uint32_t id = 0x1234;
  EXPECT_THAT(event.items, ElementsAre(std::string(reinterpret_cast<const char*>(&id), 4),
                                       std::string("Main thread\0", 12)));
  EXPECT_TRUE(tracing.provider(kThreadNameProvider).enabled());
  EXPECT_FALSE(tracing.provider(0).enabled());
}

TEST_F(EventTracingTest, AControllerWithOtherKeywordsGetsNoEvent) {
  system_.controller = FakeSystem::Controller{kTraceProviderGuids[kThreadNameProvider], 0, 0x2, 0};
  EventTracing tracing(functions_);
  tracing.load(1, "Main thread");
  EXPECT_TRUE(tracing.provider(kThreadNameProvider).enabled());
  EXPECT_THAT(system_.written, IsEmpty());
}

TEST_F(EventTracingTest, MissingFunctionsMakeEverythingANoOp) {
  const TraceFunctions none{nullptr, nullptr, nullptr};
  EventTracing tracing(none);
  tracing.load(1, "Main thread");
  for (std::size_t i = 0; i < kTraceProviderCount; ++i) EXPECT_EQ(tracing.provider(i).handle(), 0u);
  tracing.unload();
  TraceRegistration registration;
  EXPECT_EQ(registerProvider(none, kTraceProviderGuids[0], nullptr, nullptr, registration), 0u);
  std::uint64_t handle = 5;
  EXPECT_EQ(unregisterProvider(none, handle), 0u);
  EXPECT_EQ(writeThreadName(none, 5, kThreadNameEvent, 1, "x"), 0u);
  EXPECT_THAT(system_.registered, IsEmpty());
}

TEST_F(EventTracingTest, ANullThreadNameIsWrittenAsNull) {
  EXPECT_EQ(writeThreadName(functions_, 9, kThreadNameEvent, 3, nullptr), 0u);
  ASSERT_EQ(system_.written.size(), 1u);
  EXPECT_EQ(system_.written[0].items[1], std::string("NULL\0", 5));
}

TEST(TraceEnableCallback, SetsEventBitsByLevelAndKeywords) {
  static constexpr TraceEventDescriptor kEvents[] = {
      {1, 0, 0, 0, 0, 0, 0x0},  // any level, no keyword
      {2, 0, 0, 4, 0, 0, 0x1},  // level 4, keyword 1
      {3, 0, 0, 2, 0, 0, 0x6},  // level 2, keywords 2|4
      {4, 0, 0, 5, 0, 0, 0x0},  // level 5, no keyword
  };
  TraceProviderContext provider(kEvents, 4);
  const auto enable = [&](std::uint8_t level, std::uint64_t any, std::uint64_t all) {
    TraceProviderContext::enableCallback(nullptr, platform::kTraceControlEnable, level, any, all,
                                         &provider);
    return provider.enableBits();
  };
  struct Row {
    std::uint8_t level;
    std::uint64_t any;
    std::uint64_t all;
    std::uint32_t bits;
  };
  const Row rows[] = {
      {0, 0, 0, 0b1001},      // level 0 takes every level; keyworded events need a match
      {0, ~0ull, 0, 0b1111},  // every keyword
      {4, 0x1, 0, 0b0011},    // level 5 above 4
      {2, 0x7, 0, 0b0101},    // level 4 above 2
      {5, 0x2, 0x6, 0b1101},  // 0x6 holds both required keywords
      {5, 0x2, 0x3, 0b1001},  // 0x6 lacks bit 1 of match-all; 0x1 lacks match-any
      {1, ~0ull, 0, 0b0001},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(enable(row.level, row.any, row.all), row.bits)
        << int(row.level) << " " << row.any << " " << row.all;
    EXPECT_TRUE(provider.enabled());
    EXPECT_EQ(provider.level(), row.level);
    EXPECT_EQ(provider.matchAnyKeyword(), row.any);
    EXPECT_EQ(provider.matchAllKeyword(), row.all);
  }
  TraceProviderContext::enableCallback(nullptr, platform::kTraceControlCaptureState, 9, 9, 9,
                                       &provider);
  EXPECT_EQ(provider.level(), 1);  // ignored
  TraceProviderContext::enableCallback(nullptr, platform::kTraceControlDisable, 0, 0, 0, &provider);
  EXPECT_FALSE(provider.enabled());
  EXPECT_EQ(provider.enableBits(), 0u);
  EXPECT_EQ(provider.level(), 0);
  EXPECT_EQ(provider.matchAnyKeyword(), 0u);
  EXPECT_FALSE(provider.eventEnabled(0));
}

// The system's own functions: present on Windows (where the test registers and unregisters for
// real), absent elsewhere (where nothing happens and nothing fails).
TEST(SystemEventTracing, LoadsAndUnloadsWhateverTheSystemHas) {
  const TraceFunctions functions = platform::loadTraceFunctions();
  {
    EventTracing tracing(functions);
    tracing.load(1, "Main thread");
    for (std::size_t i = 0; i < kTraceProviderCount; ++i) {
      EXPECT_EQ(tracing.provider(i).handle() != 0, functions.registerProvider != nullptr) << i;
    }
    tracing.unload();
    for (std::size_t i = 0; i < kTraceProviderCount; ++i)
      EXPECT_EQ(tracing.provider(i).handle(), 0u);
  }
  platform::releaseTraceFunctions();
}

}  // namespace
}  // namespace tev
