// The widget's state rules: what each locale, session and configuration event does.
#include "purchase_widget/widget_state.h"

#include <gtest/gtest.h>

#include <string>

#include "serialization/json_reader.h"

namespace tev::purchase_widget {
namespace {

using Orvik::Client::PurchaseWidget::Api::LoginSession;
using Orvik::Client::PurchaseWidget::Api::LoginSessionStates;
constexpr auto kCreate = PluginResourceEventType::Create;
constexpr auto kUpdate = PluginResourceEventType::Update;
constexpr auto kDelete = PluginResourceEventType::Delete;

BindingProperty json(const char* text) {
  BindingResult parsed = parseJson(text);
  EXPECT_TRUE(parsed.ok()) << text;
  return parsed.value();
}

LoginSession session(LoginSessionStates state, std::uint64_t accountId, std::uint64_t tivanId,
                     const char* token) {
  LoginSession s;
  s.state = state;
  s.accountId = accountId;
  s.tivanId = tivanId;
  s.idToken = token;
  return s;
}

LoginSession loggedIn(const char* token) {
  return session(LoginSessionStates::SUCCEEDED, 7, 8, token);
}

TEST(WidgetState, StartsDisabledLoggedOutAndEmpty) {
  const WidgetState state;
  EXPECT_FALSE(state.config().enabled);
  EXPECT_FALSE(state.config().purchaseDisclaimerEnabled);
  EXPECT_FALSE(state.loggedIn());
  const StoreSnapshot snapshot = state.storeSnapshot();
  EXPECT_FALSE(snapshot.enabled);
  EXPECT_TRUE(snapshot.baseUrl.empty());
  EXPECT_TRUE(snapshot.locale.empty());
  EXPECT_TRUE(snapshot.idToken.empty());
}

TEST(WidgetStateLocale, CreateAndUpdateTakeTheTextFormDeleteEmpties) {
  WidgetState state;
  state.applyLocaleEvent(kCreate, json(R"({"locale":"en_US","region":"NA"})"));
  EXPECT_EQ(state.locale(), "en_US");
  state.applyLocaleEvent(kUpdate, json(R"({"locale":42})"));
  EXPECT_EQ(state.locale(), "42");
  state.applyLocaleEvent(kUpdate, json(R"({"region":"EUW"})"));
  EXPECT_EQ(state.locale(), "") << "a missing member empties the locale";
  state.applyLocaleEvent(kUpdate, json(R"({"locale":"de_DE"})"));
  state.applyLocaleEvent(kDelete, BindingProperty());
  EXPECT_EQ(state.locale(), "");
}

TEST(WidgetStateLocale, DataThatIsNoStructureEmptiesTheLocale) {
  WidgetState state;
  state.applyLocaleEvent(kUpdate, json(R"({"locale":"fr_FR"})"));
  state.applyLocaleEvent(kUpdate, json(R"("fr_FR")"));
  EXPECT_EQ(state.locale(), "");
}

TEST(WidgetStateLocale, TypesOutsideTheEnumerationAreIgnored) {
  WidgetState state;
  state.applyLocaleEvent(kCreate, json(R"({"locale":"en_US"})"));
  state.applyLocaleEvent(static_cast<PluginResourceEventType>(-1), BindingProperty());
  state.applyLocaleEvent(static_cast<PluginResourceEventType>(3), BindingProperty());
  EXPECT_EQ(state.locale(), "en_US");
}

TEST(WidgetStateSession, ALoggedInSessionHandsOverItsToken) {
  WidgetState state;
  state.applySessionEvent(kCreate, loggedIn("token-1"));
  EXPECT_TRUE(state.loggedIn());
  EXPECT_EQ(state.idToken(), "token-1");
}

TEST(WidgetStateSession, ZeroIdsOrAnotherStateAreNotLoggedIn) {
  const LoginSession notLoggedIn[] = {
      session(LoginSessionStates::SUCCEEDED, 7, 0, "t"),
      session(LoginSessionStates::SUCCEEDED, 0, 7, "t"),
      session(LoginSessionStates::IN_PROGRESS, 7, 8, "t"),
      session(LoginSessionStates::ERROR, 7, 8, "t"),
      session(LoginSessionStates::LOGGING_OUT, 7, 8, "t"),
  };
  for (const LoginSession& s : notLoggedIn) {
    WidgetState state;
    state.applySessionEvent(kUpdate, s);
    EXPECT_FALSE(state.loggedIn()) << static_cast<int>(s.state);
    EXPECT_EQ(state.idToken(), "") << static_cast<int>(s.state);
  }
}

TEST(WidgetStateSession, TheFirstTokenStaysWhileLoggedIn) {
  WidgetState state;
  state.applySessionEvent(kCreate, loggedIn("first"));
  state.applySessionEvent(kUpdate, loggedIn("second"));
  EXPECT_EQ(state.idToken(), "first");
}

TEST(WidgetStateSession, LeavingSucceededKeepsTheTokenUntilTheNextLogin) {
  WidgetState state;
  state.applySessionEvent(kUpdate, loggedIn("first"));
  state.applySessionEvent(kUpdate, session(LoginSessionStates::LOGGING_OUT, 7, 8, "x"));
  EXPECT_FALSE(state.loggedIn());
  EXPECT_EQ(state.idToken(), "first");
  state.applySessionEvent(kUpdate, loggedIn("second"));
  EXPECT_TRUE(state.loggedIn());
  EXPECT_EQ(state.idToken(), "second");
}

TEST(WidgetStateSession, DeleteLogsOutAndEmptiesTheToken) {
  WidgetState state;
  state.applySessionEvent(kUpdate, loggedIn("first"));
  state.applySessionEvent(kDelete, LoginSession());
  EXPECT_FALSE(state.loggedIn());
  EXPECT_EQ(state.idToken(), "");
  state.applySessionEvent(kUpdate, loggedIn("again"));
  EXPECT_EQ(state.idToken(), "again");
}

TEST(WidgetStateSession, TypesOutsideTheEnumerationAreIgnored) {
  WidgetState state;
  state.applySessionEvent(kUpdate, loggedIn("first"));
  state.applySessionEvent(static_cast<PluginResourceEventType>(-1), LoginSession());
  state.applySessionEvent(static_cast<PluginResourceEventType>(7), LoginSession());
  EXPECT_TRUE(state.loggedIn());
  EXPECT_EQ(state.idToken(), "first");
}

TEST(WidgetStateConfiguration, MembersAreReadAsTextAndTruthValues) {
  struct Row {
    const char* data;
    bool enabled;
    bool disclaimer;
    const char* baseUrl;
  };
  const Row rows[] = {
      {R"({"Enabled":"1","BaseUrl":5})", true, false, "5"},
      {R"({"Enabled":"yes","BaseUrl":"https://store/"})", false, false, "https://store/"},
      {R"({"Enabled":true,"PurchaseDisclaimerEnabled":"true","BaseUrl":"u"})", true, true, "u"},
      {R"({"Enabled":2,"PurchaseDisclaimerEnabled":0})", true, false, ""},
      {R"({"Enabled":"True","PurchaseDisclaimerEnabled":null})", false, false, ""},
      {R"({"Enabled":false,"BaseUrl":true})", false, false, "true"},
      {R"({})", false, false, ""},
      {R"([1,2])", false, false, ""},
  };
  for (const Row& row : rows) {
    WidgetState state;
    EXPECT_TRUE(state.applyConfigurationEvent(kUpdate, json(row.data))) << row.data;
    EXPECT_EQ(state.config().enabled, row.enabled) << row.data;
    EXPECT_EQ(state.config().purchaseDisclaimerEnabled, row.disclaimer) << row.data;
    EXPECT_EQ(state.baseUrl(), row.baseUrl) << row.data;
  }
}

TEST(WidgetStateConfiguration, OnlyCreateAndUpdateAreHandled) {
  WidgetState state;
  EXPECT_TRUE(state.applyConfigurationEvent(kCreate, json(R"({"Enabled":true,"BaseUrl":"a/"})")));
  EXPECT_FALSE(state.applyConfigurationEvent(kDelete, BindingProperty()));
  EXPECT_FALSE(state.applyConfigurationEvent(static_cast<PluginResourceEventType>(-2),
                                             json(R"({"Enabled":false})")));
  EXPECT_TRUE(state.config().enabled);
  EXPECT_EQ(state.baseUrl(), "a/");
}

TEST(WidgetStateConfiguration, TheCallersDataIsLeftAsItWas) {
  WidgetState state;
  const BindingProperty data = json(R"({"Enabled":true})");
  EXPECT_TRUE(state.applyConfigurationEvent(kUpdate, data));
  EXPECT_EQ(data.size(), 1u);
}

TEST(WidgetState, TheSnapshotHoldsEverythingAStoreCallReads) {
  WidgetState state;
  EXPECT_TRUE(state.applyConfigurationEvent(kUpdate, json(R"({"Enabled":true,"BaseUrl":"b/"})")));
  state.applyLocaleEvent(kUpdate, json(R"({"locale":"ja_JP"})"));
  state.applySessionEvent(kUpdate, loggedIn("tok"));
  const StoreSnapshot snapshot = state.storeSnapshot();
  EXPECT_TRUE(snapshot.enabled);
  EXPECT_EQ(snapshot.baseUrl, "b/");
  EXPECT_EQ(snapshot.locale, "ja_JP");
  EXPECT_EQ(snapshot.idToken, "tok");
}

}  // namespace
}  // namespace tev::purchase_widget
