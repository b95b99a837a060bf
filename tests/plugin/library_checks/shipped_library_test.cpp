// The optimised widget library as a host loads it: the handshake, one endpoint of each kind and
// the memory statistics, through the test host and nothing else. The unit tests cover the
// behaviour; these catch what only the shipped build can break (a section dropped at link time
// that was needed, a runtime piece missing from the static link, a mismatch of the version).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/plugin/test_host.h"

namespace {

using plugintest::EndpointAnswer;
using plugintest::ExternalReply;
using plugintest::LocalReply;
using plugintest::TestHost;

constexpr std::uint32_t kGet = 2;
constexpr std::uint32_t kPost = 6;
constexpr char kConfigurationPath[] = "/tev-purchase-widget/v1/configuration";
constexpr char kValidatePath[] = "/tev-purchase-widget/v1/validateItems";
constexpr char kPlatformPath[] = "/tev-platform-config/v1/namespaces/HuxPurchaseWidget";
constexpr char kLocalePath[] = "/orvikclient/region-locale";
constexpr char kSessionPath[] = "/tev-login/v1/session";
constexpr char kValidateUrl[] = "https://store.test/api/v1/validate?language=en_US";

std::string versionText(const PluginDescriptor& descriptor) {
  return std::to_string(descriptor.major) + "." + std::to_string(descriptor.minor) + "." +
         std::to_string(descriptor.patch);
}

void replyResource(TestHost& host, const std::string& path, const std::string& json) {
  LocalReply reply;
  reply.json = json;
  host.replyLocal(path, reply);
}

TEST(ShippedLibrary, HandshakeAnswersWithThePluginApiVersionOverAnyMinorOfTheMajor) {
  TestHost host;
  ASSERT_TRUE(host.open(TEV_WIDGET_LIBRARY, "load_tev_purchase_widget")) << TEV_WIDGET_LIBRARY;
  host.load(18, 7, 3);
  ASSERT_TRUE(host.loaded());
  EXPECT_EQ(versionText(host.descriptor()), TEV_PLUGIN_API_VERSION);
  ASSERT_NE(host.descriptor().shortName, nullptr);
  EXPECT_STREQ(host.descriptor().shortName, "tev-purchase-widget");
  EXPECT_EQ(host.endpoints().size(), 3u);
  const MemoryStatistics stats = host.memoryStatistics();
  EXPECT_GT(stats.allocations, 0u);
  EXPECT_GE(stats.bytesAllocated, stats.bytesFreed);
  for (std::uint8_t byte : stats.reserved) EXPECT_EQ(byte, 0);
  ASSERT_TRUE(host.initialize());
  host.shutdown();
}

TEST(ShippedLibrary, EndpointsAnswerThroughTheRouterAndTheStoreCall) {
  TestHost host;
  ASSERT_TRUE(host.open(TEV_WIDGET_LIBRARY, "load_tev_purchase_widget")) << TEV_WIDGET_LIBRARY;
  host.load(18, 0, 0);
  ASSERT_TRUE(host.loaded());
  replyResource(host, kPlatformPath, R"({"Enabled":true,"BaseUrl":"https://store.test/api/"})");
  replyResource(host, kLocalePath, R"({"locale":"en_US"})");
  replyResource(host, kSessionPath,
                R"({"state":"SUCCEEDED","accountId":7,"tivanId":8,"idToken":"token-1"})");
  ASSERT_TRUE(host.initialize());

  const EndpointAnswer configuration = host.call(kGet, kConfigurationPath, kConfigurationPath);
  ASSERT_TRUE(configuration.found);
  EXPECT_FALSE(configuration.hasError) << configuration.error;
  EXPECT_EQ(configuration.result, R"({"enabled":true,"purchaseDisclaimerEnabled":false})");

  ExternalReply store;
  store.status = 200;
  store.body = R"({"items":[],"valid":true})";
  host.replyExternal(kValidateUrl, store);
  const EndpointAnswer validation =
      host.call(kPost, kValidatePath, kValidatePath,
                R"({"items":[{"itemKey":{"inventoryType":"CHAMPION","itemId":5},"quantity":2}]})");
  ASSERT_TRUE(validation.found);
  EXPECT_FALSE(validation.hasError) << validation.error;
  EXPECT_EQ(validation.result, R"({"items":[],"valid":true})");
  ASSERT_EQ(host.externalCalls.size(), 1u);
  EXPECT_EQ(host.externalCalls[0].url, kValidateUrl);
  EXPECT_EQ(host.externalCalls[0].body,
            R"({"items":[{"itemKey":{"inventoryType":"CHAMPION","itemId":5},"quantity":2}]})");

  // A body that is not JSON at all is refused with an error, not a crash.
  const EndpointAnswer refused = host.call(kPost, kValidatePath, kValidatePath, "{\"items\":[");
  EXPECT_TRUE(refused.hasError);
  EXPECT_EQ(host.externalCalls.size(), 1u);
  host.shutdown();
}

}  // namespace
