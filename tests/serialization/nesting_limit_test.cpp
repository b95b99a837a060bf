// The shared nesting limit, checked the same way for every reader: exactly kMaxNestingDepth
// levels are accepted, one more is refused, and a million levels end in a clean error on a
// thread with a 256 KiB stack, without growing memory with the input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/nesting_limit.h"
#include "platform/thread_with_stack.h"
#include "serialization/json_reader.h"
#include "serialization/msgpack_reader.h"
#include "serialization/yaml_reader.h"
#include "tests/serialization/codec_test_support.h"

namespace tev {
namespace {

using codec_test::repeat;

struct JsonArrays {
  static constexpr bool kCopiesInput = true;
  static std::string nested(std::size_t levels) {
    return repeat("[", levels) + repeat("]", levels);
  }
  static std::string open(std::size_t levels) { return repeat("[", levels); }
  static BindingResult read(const std::string& input) {
    return parseJson(input.data(), input.size());
  }
  static const char* tooDeep() { return "Error: Nesting deeper than 128 levels at offset 128."; }
};

struct JsonObjects {
  static constexpr bool kCopiesInput = false;
  static std::string nested(std::size_t levels) {
    return repeat("{\"k\":", levels - 1) + "{}" + repeat("}", levels - 1);
  }
  static std::string open(std::size_t levels) { return repeat("{\"k\":", levels); }
  static BindingResult read(const std::string& input) { return parseJson(input.c_str()); }
  static const char* tooDeep() { return "Error: Nesting deeper than 128 levels at offset 640."; }
};

struct MsgPackArrays {
  static constexpr bool kCopiesInput = false;
  static std::string nested(std::size_t levels) { return repeat("\x91", levels - 1) + "\x90"; }
  static std::string open(std::size_t levels) { return repeat("\x91", levels); }
  static BindingResult read(const std::string& input) {
    BindingResult result;
    const std::size_t consumed = decodeMsgPack(result, input.data(), input.size());
    if (result.ok()) {
      EXPECT_EQ(consumed, input.size());
    }
    return result;
  }
  static const char* tooDeep() {
    return "Invalid MessagePack data at position 129. Nesting deeper than 128 levels.";
  }
};

struct MsgPackMaps {
  static constexpr bool kCopiesInput = false;
  static std::string nested(std::size_t levels) {
    return repeat(std::string("\x81\xA1k", 3), levels - 1) + "\x80";
  }
  static std::string open(std::size_t levels) {
    return repeat(std::string("\x81\xA1k", 3), levels);
  }
  static BindingResult read(const std::string& input) { return MsgPackArrays::read(input); }
  static const char* tooDeep() {
    return "Invalid MessagePack data at position 385. Nesting deeper than 128 levels.";
  }
};

struct YamlFlow {
  static constexpr bool kCopiesInput = false;
  static std::string nested(std::size_t levels) {
    return repeat("[", levels) + repeat("]", levels);
  }
  static std::string open(std::size_t levels) { return repeat("[", levels); }
  static BindingResult read(const std::string& input) {
    return parseYaml(input.data(), input.size());
  }
  static const char* tooDeep() { return "Nesting deeper than 128 levels. At line: 1 col: 129"; }
};

struct YamlBlock {
  static constexpr bool kCopiesInput = false;
  // One mapping per line, each indented one more step; the last key's value is null.
  static std::string nested(std::size_t levels) {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) text += std::string(i, ' ') + "k:\n";
    return text;
  }
  static std::string open(std::size_t levels) { return nested(levels); }
  static BindingResult read(const std::string& input) { return parseYaml(input.c_str()); }
  static const char* tooDeep() { return "Nesting deeper than 128 levels. At line: 129 col: 129"; }
};

template <typename Reader>
class NestingLimit : public testing::Test {};

using Readers =
    testing::Types<JsonArrays, JsonObjects, MsgPackArrays, MsgPackMaps, YamlFlow, YamlBlock>;
TYPED_TEST_SUITE(NestingLimit, Readers);

TYPED_TEST(NestingLimit, AcceptsExactlyTheLimit) {
  const BindingResult result = TypeParam::read(TypeParam::nested(kMaxNestingDepth));
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(codec_test::depthOf(result.value()), kMaxNestingDepth);
}

TYPED_TEST(NestingLimit, RefusesOneLevelMore) {
  const BindingResult result = TypeParam::read(TypeParam::nested(kMaxNestingDepth + 1));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(), TypeParam::tooDeep());
}

TYPED_TEST(NestingLimit, AMillionLevelsFailCleanlyOnASmallStack) {
  const std::size_t levels = std::is_same_v<TypeParam, YamlBlock> ? 2000 : 1000000;
  const std::string input = TypeParam::open(levels);
  std::string error;
  codec_test::HeapMeter meter;
  const bool ran = platform::runWithStack(256 * 1024, [&] {
    const BindingResult result = TypeParam::read(input);
    error = std::string(result.error());
  });
  ASSERT_TRUE(ran);
  EXPECT_EQ(error, TypeParam::tooDeep());
  // Nothing is kept per level beyond the limit: memory does not follow the input's size, except
  // for the terminated copy of the bytes that the JSON reader parses from.
  const std::size_t copy = TypeParam::kCopiesInput ? input.size() + 1 : 0;
  EXPECT_LT(meter.peakBytes(), copy + 256u * 1024u);
}

}  // namespace
}  // namespace tev
