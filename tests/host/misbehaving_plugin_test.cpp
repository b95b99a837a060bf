// The host with a plugin that streams bodies, fails and answers carelessly: whatever the plugin
// does, the client gets a clear answer, the host releases what it was given, and keeps serving.
#include <gtest/gtest.h>

#include "tests/host/host_process.h"

namespace devhosttest {
namespace {

class MisbehavingPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.start({"--plugin", fakePluginLibrary(), "--catalogue", catalogueFile()}))
        << host_.output();
  }
  void TearDown() override { EXPECT_EQ(host_.stop(), 0) << host_.output(); }

  // The plugin answers with its counts as a JSON text.
  json counts() const { return json::parse(host_.get("/fake/counts").value.get<std::string>()); }

  HostProcess host_;
};

TEST_F(MisbehavingPlugin, RequestsReachThePluginWithQueryLowerCaseHeadersAndBody) {
  const Answer echo =
      host_.send("PATCH", "/fake/echo?x=1&y=%20", "a: 1", "text/x-yaml", {{"X-Token", "abc"}});
  ASSERT_EQ(echo.status, 200) << echo.body;
  const json request = json::parse(echo.value.get<std::string>());
  EXPECT_EQ(request["method"], 5);  // PATCH, on an endpoint for any method
  EXPECT_EQ(request["bodyLength"], 4);
  EXPECT_EQ(request["target"], "/fake/echo?x=1&y=%20");
  EXPECT_EQ(request["contentType"], "text/x-yaml");
  EXPECT_EQ(request["headers"]["x-token"], "abc");
}

TEST_F(MisbehavingPlugin, StreamedBodiesArriveWholeAndAreReleased) {
  const Answer stream = host_.get("/fake/stream");
  EXPECT_EQ(stream.status, 200);
  ASSERT_EQ(stream.body.size(), 50000u);
  EXPECT_EQ(stream.body.front(), 'a');
  EXPECT_EQ(stream.body.back(), 'e');

  // A producer that fails midway cuts the connection: the client sees a broken answer.
  const Answer broken = host_.get("/fake/stream-fails");
  EXPECT_TRUE(broken.status == 0 || broken.body.size() < 50000u);
  const json after = counts();
  EXPECT_EQ(after["streamsReleased"], 2);
  // Every response the plugin wrote was cleaned up (the counts answer itself is still out).
  EXPECT_EQ(after["cleanups"], after["responses"].get<int>() - 1);
}

TEST_F(MisbehavingPlugin, CarelessAnswersBecomeClearErrors) {
  const Answer status = host_.get("/fake/bad-status");
  EXPECT_EQ(status.status, 500);
  EXPECT_EQ(status.value["error"], "the plugin answered with the invalid status 42");
  const Answer value = host_.get("/fake/bad-value");
  EXPECT_EQ(value.status, 500);
  EXPECT_EQ(value.value["error"],
            "the plugin answered with a value the host cannot read: unknown host value type 11");
  const Answer error = host_.get("/fake/error-default");
  EXPECT_EQ(error.status, 400);  // an error without status
  EXPECT_EQ(error.value, json::parse(R"({"error":"broken"})"));
  EXPECT_EQ(host_.get("/fake/echo").status, 200);
}

}  // namespace
}  // namespace devhosttest
