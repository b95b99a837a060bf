// Helpers shared by the codec tests: a compact text form of a value tree that shows every
// kind, and a heap meter over the allocation hooks. Test-only.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "binding/binding_property.h"
#include "platform/allocation_counters.h"
#include "platform/allocator_hooks.h"

namespace tev::codec_test {

// null, true/false, s<signed>, u<unsigned>, f<%.17g>, "<string>", b<hex bytes>,
// e<value>:<type id>, [elements], {key:value,...}.
inline std::string describe(const BindingProperty& value) {
  char buffer[64];
  switch (value.kind()) {
    case BindingPropertyKind::kEmpty:
      return "null";
    case BindingPropertyKind::kBool:
      return value.getBool() ? "true" : "false";
    case BindingPropertyKind::kSigned:
      std::snprintf(buffer, sizeof buffer, "s%" PRId64, value.getSigned());
      return buffer;
    case BindingPropertyKind::kUnsigned:
      std::snprintf(buffer, sizeof buffer, "u%" PRIu64, value.getUnsigned());
      return buffer;
    case BindingPropertyKind::kFloat:
      std::snprintf(buffer, sizeof buffer, "f%.17g", value.getFloat());
      return buffer;
    case BindingPropertyKind::kString:
      return "\"" + std::string(value.getString()) + "\"";
    case BindingPropertyKind::kBlob: {
      std::string text = "b";
      for (std::uint8_t byte : value.getBlob()) {
        std::snprintf(buffer, sizeof buffer, "%02x", byte);
        text += buffer;
      }
      return text;
    }
    case BindingPropertyKind::kEnum:
      std::snprintf(buffer, sizeof buffer, "e%d:%u", static_cast<int>(value.getEnum().value),
                    static_cast<unsigned>(value.getEnum().typeId));
      return buffer;
    case BindingPropertyKind::kCollection: {
      std::string text = "[";
      for (const BindingProperty& element : value.elements()) {
        if (text.size() > 1) text += ",";
        text += describe(element);
      }
      return text + "]";
    }
    case BindingPropertyKind::kStructure: {
      std::string text = "{";
      for (const BindingMember member : value.members()) {
        if (text.size() > 1) text += ",";
        text += std::string(member.key) + ":" + describe(member.value);
      }
      return text + "}";
    }
  }
  return "?";
}

// How many containers deep the tree goes (a scalar: 0).
inline std::size_t depthOf(const BindingProperty& value) {
  std::size_t deepest = 0;
  if (value.isCollection()) {
    for (const BindingProperty& element : value.elements()) {
      const std::size_t d = depthOf(element);
      if (d > deepest) deepest = d;
    }
    return deepest + 1;
  }
  if (value.isStructure()) {
    for (const BindingMember member : value.members()) {
      const std::size_t d = depthOf(member.value);
      if (d > deepest) deepest = d;
    }
    return deepest + 1;
  }
  return 0;
}

inline std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

inline std::string repeat(const std::string& piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// Counts the hooked heap while it lives: everything allocated and freed in between. Blocks
// must not cross its lifetime (allocated before and freed during, or the other way round).
class HeapMeter {
 public:
  HeapMeter() : saved_(allocatorHooks()) {
    allocatorHooks() = AllocatorHooks{countingAllocate,      countingFree,      countingReallocate,
                                      countingDuplicateText, countingBlockSize, &counters_};
  }
  ~HeapMeter() { allocatorHooks() = saved_; }
  HeapMeter(const HeapMeter&) = delete;
  HeapMeter& operator=(const HeapMeter&) = delete;

  std::uint64_t peakBytes() const { return counters_.peakBytesInUse.load(); }
  std::uint64_t allocations() const { return counters_.allocations.load(); }

 private:
  AllocationCounters counters_;
  AllocatorHooks saved_;
};

}  // namespace tev::codec_test
