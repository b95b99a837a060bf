// The start page and the catalogue view: which clients get HTML at "/", that the page's texts
// cannot inject markup, and the catalogue as the widget page reads it.
#include "host/http/start_page.h"

#include <gtest/gtest.h>

#include "host/store/catalogue_view.h"
#include "tests/host/shipped_catalogue.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

TEST(StartPage, BrowsersGetHtmlAndOtherClientsKeepJson) {
  const struct {
    const char* accept;
    bool html;
  } kRows[] = {
      // Chromium's and Firefox's navigation headers.
      {"text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,image/apng,"
       "*/*;q=0.8,application/signed-exchange;v=b3;q=0.7",
       true},
      {"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", true},
      {"TEXT/HTML", true},
      {"text/html, */*", true},
      {"application/xhtml+xml", true},
      {"", false},
      {"*/*", false},  // curl
      {"application/json", false},
      {"application/json, text/html", false},
      {"text/html;q=0.5, application/json", false},
      {"text/html;q=0.9, application/json;q=0.5", true},
      {"text/html;q=0", false},
      {"text/html;q=0.5, */*", false},
      {"text/html;level=1;q=0.7, */*;q=0.5", true},
      {"text/html;q=oops", false},
      {"text/html;q=1.5", false},
      {",,text/plain", false},
  };
  for (const auto& row : kRows) EXPECT_EQ(prefersHtml(row.accept), row.html) << row.accept;
}

TEST(StartPage, LinksThePagesAndEscapesWhatThePluginNames) {
  StartPageInfo info;
  info.pluginName = "widget<script>";
  info.storeUrl = "http://127.0.0.1:1/\"'&";
  info.endpoints = {{"GET", "/tev-purchase-widget/v1/configuration"},
                    {"POST", "/tev-purchase-widget/v1/validateItems"},
                    {"GET", "/items/{id}"}};
  const std::string html = startPageHtml(info);
  for (const char* link : {"href=\"/widget/\"", "href=\"/docs/\"", "href=\"/devhost/v1/status\"",
                           "href=\"/tev-purchase-widget/v1/configuration\""}) {
    EXPECT_NE(html.find(link), std::string::npos) << link;
  }
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("widget&lt;script&gt;"), std::string::npos);
  EXPECT_NE(html.find("http://127.0.0.1:1/&quot;&#39;&amp;"), std::string::npos);
  // Only GET endpoints without placeholders are links.
  EXPECT_EQ(html.find("href=\"/tev-purchase-widget/v1/validateItems\""), std::string::npos);
  EXPECT_EQ(html.find("href=\"/items/{id}\""), std::string::npos);
  EXPECT_NE(html.find("GET /items/{id}"), std::string::npos);
}

class CatalogueView : public ::testing::Test {
 protected:
  void SetUp() override { loadShippedCatalogue(catalogue_); }

  static const json& item(const json& view, const std::string& type) {
    for (const json& entry : view["items"]) {
      if (entry["itemKey"]["inventoryType"] == type) return entry;
    }
    static const json none;
    return none;
  }

  StoreCatalogue catalogue_;
};

TEST_F(CatalogueView, NamesFollowTheLanguageWithTheDefaultForWhatIsMissing) {
  const json german = catalogueView(catalogue_, "de_DE", "2030-06-01T12:00:00Z");
  EXPECT_EQ(german["language"], "de_DE");
  EXPECT_EQ(item(german, "COMPANION")["name"], "Laternengefährte");
  EXPECT_EQ(item(german, "EMOTE")["name"], "Polite Wave");  // no German name
  EXPECT_EQ(item(german, "BOOST")["description"], "Doubles the experience earned for one day.");
  EXPECT_EQ(catalogueView(catalogue_, "", "2030-06-01T12:00:00Z")["items"][0]["name"],
            "Lantern Familiar");
  EXPECT_EQ(german["items"].size(), catalogue_.items().size());
  EXPECT_EQ(item(german, "BOOST")["maxQuantity"], 10);
}

TEST_F(CatalogueView, SaleWindowsAreTaggedPastRunningOrUpcomingAtTheGivenTime) {
  const json view = catalogueView(catalogue_, "en_US", "2030-06-01T12:00:00Z");
  const json& banner = item(view, "BANNER");
  EXPECT_EQ(banner["sale"]["state"], "running");
  EXPECT_EQ(banner["sale"]["prices"][0]["price"], 260);
  EXPECT_EQ(banner["prices"][0]["price"], 520);  // the regular price stays visible
  EXPECT_EQ(item(view, "BOOST")["sales"][0]["state"], "past");
  EXPECT_EQ(item(view, "BOOST")["sale"], nullptr);
  EXPECT_EQ(item(view, "EMOTE")["sales"][0]["state"], "upcoming");
  EXPECT_EQ(item(view, "BUNDLE")["sales"], json::array());

  // The edges: a sale runs from its start up to, not including, its end.
  const json atStart = catalogueView(catalogue_, "en_US", "2099-01-01T00:00:00Z");
  EXPECT_EQ(item(atStart, "EMOTE")["sales"][0]["state"], "running");
  const json atEnd = catalogueView(catalogue_, "en_US", "2100-01-01T00:00:00Z");
  EXPECT_EQ(item(atEnd, "EMOTE")["sales"][0]["state"], "past");
  EXPECT_EQ(item(atEnd, "EMOTE")["sale"], nullptr);
}

TEST_F(CatalogueView, TheWalletIsTheOneOfTheSessionsToken) {
  const std::optional<json> wallet =
      walletForSession(catalogue_, {{"state", "SUCCEEDED"}, {"idToken", "devhost-player-token"}});
  ASSERT_TRUE(wallet.has_value());
  EXPECT_EQ((*wallet)["accountId"], 1001);
  for (const json& session :
       {json(nullptr), json::array(), json{{"idToken", "unknown"}}, json{{"idToken", 5}},
        json{{"idToken", ""}}, json{{"state", "SUCCEEDED"}}}) {
    EXPECT_FALSE(walletForSession(catalogue_, session).has_value()) << session.dump();
  }
}

}  // namespace
}  // namespace tev::devhost
