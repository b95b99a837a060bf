// The gate that keeps event delivery apart from requests inside the plugin.
#include "host/plugin_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tev::devhost {
namespace {

TEST(PluginGate, ExclusiveEntryWaitsForSharedOnesAndHoldsNewOnesBack) {
  PluginGate gate;
  std::atomic<int> stage{0};
  std::atomic<bool> lateReaderIn{false};
  std::thread writer;
  std::thread lateReader;
  {
    const PluginGate::Shared reader(gate);
    EXPECT_TRUE(PluginGate::inside());
    {
      const PluginGate::Exclusive nested(gate);  // same thread: passes without waiting
    }
    writer = std::thread([&] {
      const PluginGate::Exclusive alone(gate);
      stage = 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_FALSE(lateReaderIn.load());
      stage = 2;
    });
    while (!gate.exclusiveWaiting()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stage.load(), 0);  // the writer waits for this reader
    lateReader = std::thread([&] {
      const PluginGate::Shared late(gate);
      lateReaderIn = true;
      EXPECT_EQ(stage.load(), 2);  // queued behind the waiting writer
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  writer.join();
  lateReader.join();
  EXPECT_FALSE(PluginGate::inside());
}

TEST(PluginGate, ReadersAndWritersNeverOverlap) {
  PluginGate gate;
  std::atomic<int> readersInside{0};
  std::atomic<bool> writerInside{false};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        const PluginGate::Shared reader(gate);
        ++readersInside;
        if (writerInside) ++overlaps;
        --readersInside;
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 200; ++i) {
      const PluginGate::Exclusive writer(gate);
      writerInside = true;
      if (readersInside != 0) ++overlaps;
      writerInside = false;
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
}

}  // namespace
}  // namespace tev::devhost
