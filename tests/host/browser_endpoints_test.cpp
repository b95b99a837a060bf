// What the host serves to a browser, over real HTTP: the start page, the embedded store's
// catalogue and wallet, and the event stream, including that open streams neither outnumber the
// limit nor hold up the host's shutdown.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/host/host_process.h"

namespace devhosttest {
namespace {

using namespace std::chrono_literals;

constexpr char kStream[] = "/devhost/v1/events/stream";
constexpr char kCatalogue[] = "/devhost/v1/store/catalogue";
constexpr char kWallet[] = "/devhost/v1/store/wallet";
constexpr char kSession[] = "/devhost/v1/resources/tev-login/v1/session";
constexpr char kLocale[] = "/devhost/v1/resources/orvikclient/region-locale";
constexpr char kPlatformConfig[] =
    "/devhost/v1/resources/tev-platform-config/v1/namespaces/HuxPurchaseWidget";

// Reads the event stream on a thread of its own until the host ends it.
class StreamReader {
 public:
  explicit StreamReader(int port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(std::chrono::seconds(60));
    thread_ = std::thread([this] {
      const auto result = client_.Get(
          kStream,
          [this](const httplib::Response& response) {
            const std::lock_guard<std::mutex> lock(mutex_);
            status_ = response.status;
            contentType_ = response.get_header_value("Content-Type");
            changed_.notify_all();
            return true;
          },
          [this](const char* data, std::size_t length) {
            const std::lock_guard<std::mutex> lock(mutex_);
            text_.append(data, length);
            changed_.notify_all();
            return true;
          });
      const std::lock_guard<std::mutex> lock(mutex_);
      if (result && status_ == 0) status_ = result->status;
      if (result && text_.empty()) text_ = result->body;
      ended_ = true;
      changed_.notify_all();
    });
  }
  // A test that failed half-way may leave the stream open.
  ~StreamReader() {
    if (!waitForEnd(0ms)) client_.stop();
    thread_.join();
  }

  // Waits until the text received so far contains every one of `parts`.
  bool waitFor(std::vector<std::string> parts, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const std::string& part : parts) {
        if (text_.find(part) == std::string::npos) return false;
      }
      return true;
    });
  }
  bool waitForStatus(std::chrono::milliseconds timeout = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return status_ != 0 || ended_; });
  }
  bool waitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_; });
  }
  int status() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return status_;
  }
  std::string contentType() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return contentType_;
  }
  std::string text() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int status_ = 0;
  std::string contentType_;
  std::string text_;
  bool ended_ = false;
  httplib::Client client_;
  std::thread thread_;
};

class BrowserEndpoints : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.start({"--plugin", widgetLibrary(), "--catalogue", catalogueFile()}))
        << host_.output();
  }

  HostProcess host_;
};

TEST_F(BrowserEndpoints, TheStartPageGoesToBrowsersAndTheJsonIndexToEveryoneElse) {
  const Answer page =
      host_.send("GET", "/", "", "",
                 {{"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"}});
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(page.header("Vary"), "Accept");
  for (const char* link : {"href=\"/widget/\"", "href=\"/docs/\"", "href=\"/devhost/v1/status\""}) {
    EXPECT_NE(page.body.find(link), std::string::npos) << link;
  }
  const Answer index = host_.get("/");
  EXPECT_EQ(index.status, 200);
  EXPECT_EQ(index.value["plugin"], "tev-purchase-widget");
  EXPECT_EQ(index.value["control"], "/devhost/v1/");
  EXPECT_EQ(index.header("Vary"), "Accept");
  EXPECT_EQ(host_.stop(), 0) << host_.output();
}

TEST_F(BrowserEndpoints, CatalogueNamesFollowTheLocaleAndTheWalletTheSession) {
  const Answer english = host_.get(kCatalogue);
  ASSERT_EQ(english.status, 200) << english.body;
  EXPECT_EQ(english.value["language"], "en_US");
  EXPECT_EQ(english.value["items"][0]["name"], "Lantern Familiar");
  EXPECT_EQ(english.value["items"].size(), 5u);
  EXPECT_EQ(host_.post(kCatalogue, "{}").status, 405);

  ASSERT_EQ(host_.put(kLocale, R"({"locale":"de_DE"})").status, 200);
  EXPECT_EQ(host_.get(kCatalogue).value["items"][0]["name"], "Laternengefährte");

  const Answer wallet = host_.get(kWallet);
  ASSERT_EQ(wallet.status, 200) << wallet.body;
  EXPECT_EQ(wallet.value["accountId"], 1001);
  ASSERT_EQ(host_.del(kSession).status, 200);
  const Answer none = host_.get(kWallet);
  EXPECT_EQ(none.status, 404);
  EXPECT_TRUE(none.value["error"].is_string());
  EXPECT_EQ(host_.stop(), 0) << host_.output();
}

TEST_F(BrowserEndpoints, StreamCarriesResourceChangesAndThePluginsPublications) {
  StreamReader reader(host_.port());
  ASSERT_TRUE(reader.waitFor({"retry: "})) << reader.text();
  EXPECT_EQ(reader.status(), 200);
  EXPECT_EQ(reader.contentType(), "text/event-stream");

  ASSERT_EQ(host_.del(kSession).status, 200);
  EXPECT_TRUE(reader.waitFor({"event: OnJsonApiEvent_tev-login_v1_session\n",
                              "\"uri\":\"/tev-login/v1/session\"", "\"eventType\":\"Delete\""}))
      << reader.text();

  const Answer config = host_.get(kPlatformConfig);
  json disabled = config.value;
  disabled["Enabled"] = false;
  ASSERT_EQ(host_.put(kPlatformConfig, disabled.dump()).status, 200);
  // The plugin answers the change with its own configuration event.
  EXPECT_TRUE(reader.waitFor({"\"source\":\"plugin\"",
                              "\"uri\":\"/tev-purchase-widget/v1/configuration\"",
                              "\"enabled\":false"}))
      << reader.text();

  // The host stops at once although the stream is open, and the stream ends cleanly.
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(host_.stop(), 0) << host_.output();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  EXPECT_TRUE(reader.waitForEnd(5s));
}

TEST_F(BrowserEndpoints, StreamsBeyondTheLimitAreRefusedAndDoNotStarveThePlugin) {
  std::vector<std::unique_ptr<StreamReader>> readers;
  for (int i = 0; i < 8; ++i) {
    readers.push_back(std::make_unique<StreamReader>(host_.port()));
    ASSERT_TRUE(readers.back()->waitFor({"retry: "})) << i;
  }
  StreamReader refused(host_.port());
  ASSERT_TRUE(refused.waitForEnd(10s));
  EXPECT_EQ(refused.status(), 503);
  EXPECT_NE(refused.text().find("Too many event streams"), std::string::npos) << refused.text();

  EXPECT_EQ(host_.get("/tev-purchase-widget/v1/configuration").status, 200);
  EXPECT_EQ(host_.stop(), 0) << host_.output();
  for (auto& reader : readers) EXPECT_TRUE(reader->waitForEnd(5s));
}

}  // namespace
}  // namespace devhosttest
