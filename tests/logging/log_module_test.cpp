// Two modules, each linked with its own copy of the log code, loaded into this process: all of
// them, and this program, must end up with one log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "logging/log_api.h"
#include "logging/log_message.h"
#include "platform/shared_library.h"
#include "tests/logging/log_test_support.h"

namespace tev {
namespace {

using ::testing::ElementsAre;
using testing_support::CaptureTarget;

// One loaded probe module and its functions.
struct Probe {
  explicit Probe(const char* path) : library(platform::openSharedLibrary(path)) {
    api = find<const void* (*)()>("tevProbeLogApi");
    ownApi = find<const void* (*)()>("tevProbeOwnLogApi");
    log = find<void (*)(const char*)>("tevProbeLog");
    group = find<std::uint64_t (*)(const char*)>("tevProbeGroup");
    registerTarget = find<void (*)()>("tevProbeRegisterTarget");
    targetCount = find<int (*)()>("tevProbeTargetCount");
    destroyTarget = find<void (*)()>("tevProbeDestroyTarget");
    refusePins = find<void (*)()>("tevProbeRefusePins");
  }
  ~Probe() { platform::closeSharedLibrary(library); }

  template <typename F>
  F find(const char* name) {
    return reinterpret_cast<F>(platform::findLibraryFunction(library, name));
  }
  bool loaded() const {
    return library != nullptr && api && ownApi && log && group && registerTarget && targetCount &&
           destroyTarget && refusePins;
  }

  void* library;
  const void* (*api)() = nullptr;
  const void* (*ownApi)() = nullptr;
  void (*log)(const char*) = nullptr;
  std::uint64_t (*group)(const char*) = nullptr;
  void (*registerTarget)() = nullptr;
  int (*targetCount)() = nullptr;
  void (*destroyTarget)() = nullptr;
  void (*refusePins)() = nullptr;
};

// Runs first in the process (on the native presets each test has a process of its own): nothing
// here has touched the log before the first module is loaded, so that module publishes.
TEST(SharedLog, ModulesLoadedInOneProcessReachOneLog) {
  Probe a(TEV_LOG_PROBE_A);
  ASSERT_TRUE(a.loaded()) << TEV_LOG_PROBE_A;
  Probe b(TEV_LOG_PROBE_B);
  ASSERT_TRUE(b.loaded()) << TEV_LOG_PROBE_B;
  const void* shared = a.api();
  // Three copies of the code, one table in use.
  EXPECT_NE(a.ownApi(), b.ownApi());
  EXPECT_NE(b.ownApi(), &logApi());
  EXPECT_EQ(b.api(), shared);
  EXPECT_EQ(static_cast<const void*>(&logApi()), shared);

  LogReference reference;
  CaptureTarget here("here");
  here.registerTarget();
  a.log("from a");
  b.log("from b");
  EXPECT_THAT(here.messages(), ElementsAre("from a", "from b"));

  // Groups registered in one module are known to the others.
  const std::uint64_t bit = a.group("PRB");
  EXPECT_NE(bit, 0u);
  EXPECT_EQ(b.group("PRB"), bit);
  EXPECT_EQ(logApi().groupFromName("PRB", nullptr), bit);

  // A target defined in one module receives what another module logs.
  b.registerTarget();
  logMessage(kLogLevelWarn, 0, 0, "from the program");
  a.log("from a again");
  EXPECT_EQ(b.targetCount(), 2);
  b.destroyTarget();
  EXPECT_EQ(logApi().findTarget("ProbeTarget"), nullptr);
}

TEST(SharedLog, TheLogOutlivesTheModuleThatCreatedIt) {
  const void* shared = nullptr;
  {
    Probe a(TEV_LOG_PROBE_A);
    ASSERT_TRUE(a.loaded());
    Probe b(TEV_LOG_PROBE_B);
    ASSERT_TRUE(b.loaded());
    shared = a.api();
    EXPECT_EQ(b.api(), shared);
  }
  // Both handles are closed. The module whose table is in use stays loaded, so its functions
  // still answer.
  const LogApi& api = logApi();
  EXPECT_EQ(static_cast<const void*>(&api), shared);
  LogReference reference;
  CaptureTarget here("here");
  here.registerTarget();
  logMessage(kLogLevelWarn, 0, 0, "still here");
  EXPECT_THAT(here.messages(), ElementsAre("still here"));
  EXPECT_EQ(api.version(), 1);
}

// A module may adopt another's table only once that module is pinned: when the pin fails, the
// table could go with its module, so the module keeps a log of its own instead.
TEST(SharedLog, AModuleThatCannotPinThePublisherKeepsItsOwnLog) {
  Probe a(TEV_LOG_PROBE_A);
  ASSERT_TRUE(a.loaded());
  const void* published = a.api();
  Probe b(TEV_LOG_PROBE_B);
  ASSERT_TRUE(b.loaded());
  b.refusePins();
  EXPECT_EQ(b.api(), b.ownApi());
  EXPECT_NE(b.api(), published);
  EXPECT_EQ(a.api(), published);
}

// The main program never unloads, so a table it published is adopted without a pin.
TEST(SharedLog, TheMainProgramsTableNeedsNoPin) {
  const void* mine = &logApi();
  Probe a(TEV_LOG_PROBE_A);
  ASSERT_TRUE(a.loaded());
  a.refusePins();
  EXPECT_EQ(a.api(), mine);
}

}  // namespace
}  // namespace tev
