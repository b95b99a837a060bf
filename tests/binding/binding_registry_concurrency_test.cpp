#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/binding_type_info.h"

namespace {

struct Shared {};

}  // namespace

TEV_BINDING_TYPE(Shared);

namespace {

// Registration, lookup, snapshots and removal from several threads at once: the registry mutex
// must keep the maps and the change counter consistent (run under ThreadSanitizer).
TEST(BindingRegistryConcurrency, RegistrationsAndLookupsDoNotRace) {
  tev::BindingRegistry registry;
  registry.initialize();
  constexpr int kRounds = 200;
  std::atomic<bool> stop{false};

  std::vector<std::thread> writers;
  for (int t = 0; t < 2; ++t) {
    writers.emplace_back([&registry, t] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
        registry.registerType(4, name, tev::bindingTypeInfo<Shared>(), false);
        auto function = registry.registerFunction(name, {}, {}, nullptr);
        if (i % 2 == 0) {
          EXPECT_TRUE(registry.removeFunction(&function.descriptor()));
        }
      }
    });
  }
  std::thread reader([&registry, &stop] {
    while (!stop.load()) {
      const tev::BindingTypeDescriptor* state = registry.findType("BindingAsyncState");
      EXPECT_NE(state, nullptr);
      const tev::BindingTypeDescriptor* shared =
          registry.findType(tev::bindingTypeInfo<Shared>().identifier);
      if (shared != nullptr) {
        EXPECT_EQ(shared->typeInfo, &tev::bindingTypeInfo<Shared>());
      }
      // A snapshot lists descriptors; removal frees them, so a reader racing the writers'
      // removals may only look at the list itself, never through its pointers.
      for (const tev::BindingFunctionDescriptor* function : registry.functionSnapshot()) {
        EXPECT_NE(function, nullptr);
      }
      (void)registry.typeSnapshot();
      (void)registry.changeCounter();
    }
  });
  for (std::thread& writer : writers) writer.join();
  stop.store(true);
  reader.join();

  EXPECT_EQ(registry.functionSnapshot().size(), 2u * kRounds / 2);
  EXPECT_EQ(registry.changeCounter(), 2u * kRounds + 2u * kRounds / 2);
  EXPECT_EQ(registry.typeSnapshot().size(), 15u + 2u * kRounds);
}

}  // namespace
