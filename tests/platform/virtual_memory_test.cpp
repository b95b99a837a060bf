#include "platform/virtual_memory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace tev::platform {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

#ifdef __linux__
// The process's mapped address space, in kB.
std::size_t mappedKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmSize:") {
      std::size_t kilobytes = 0;
      status >> kilobytes;
      return kilobytes;
    }
  }
  return 0;
}
#endif

bool alignedTo(const void* address, std::size_t alignment) {
  return reinterpret_cast<std::uintptr_t>(address) % alignment == 0;
}

TEST(VirtualMemory, RegionsAreZeroedWritableAndAlignedWhateverTheirSize) {
  for (const std::size_t bytes :
       {std::size_t{4096}, 16 * std::size_t{4096}, kMiB, 2 * kMiB, 6 * kMiB}) {
    SCOPED_TRACE(bytes);
    auto* base = static_cast<unsigned char*>(virtualAllocate(bytes));
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(alignedTo(base, 4096));
#ifdef __linux__
    // Whole huge pages start on a huge-page boundary, or the kernel could not back them so.
    if (bytes % (2 * kMiB) == 0) {
      EXPECT_TRUE(alignedTo(base, 2 * kMiB));
    }
#endif
    for (std::size_t offset = 0; offset < bytes; offset += 4096) {
      ASSERT_EQ(base[offset], 0) << offset;
      ASSERT_EQ(base[offset + 4095], 0) << offset;
      base[offset] = 0xA5;
      base[offset + 4095] = 0x5A;
    }
    EXPECT_EQ(base[bytes - 4096], 0xA5);
    virtualFree(base, bytes);
  }
}

TEST(VirtualMemory, HugeRegionsCanBeMadeAndFreedAgainAndAgain) {
  // The mapping is trimmed to its boundary: a leak of the trimmed ends or of the region would
  // soon exhaust a 32-bit address space.
#ifdef __linux__
  const std::size_t before = mappedKilobytes();
#endif
  for (int round = 0; round < 600; ++round) {
    void* base = virtualAllocate(4 * kMiB);
    ASSERT_NE(base, nullptr) << round;
    virtualFree(base, 4 * kMiB);
  }
#ifdef __linux__
  EXPECT_LT(mappedKilobytes(), before + 4096);
#endif
}

}  // namespace
}  // namespace tev::platform
