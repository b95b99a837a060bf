// Resource paths to event names, and the pattern rule of the resource dispatcher.
#include <gtest/gtest.h>

#include <string>

#include "plugin/event_name.h"
#include "plugin/resource_dispatcher.h"

namespace tev {
namespace {

TEST(EventNameForResource, JoinsTheFirstSegmentsAfterTheEventKind) {
  const struct {
    const char* path;
    const char* name;
  } kCases[] = {
      {"/tev-login/v1/session", "OnJsonApiEvent_tev-login_v1_session"},
      {"/orvikclient/region-locale", "OnJsonApiEvent_orvikclient_region-locale"},
      {"/a/b/c/d/e", "OnJsonApiEvent_a_b_c"},
      {"/tev-login/v1/session/extra", "OnJsonApiEvent_tev-login_v1_session"},
      {"/", "OnJsonApiEvent"},
      {"", "OnJsonApiEvent"},
      {"//a///b/", "OnJsonApiEvent_a_b"},
      {"a/b", "OnJsonApiEvent_a_b"},
  };
  for (const auto& row : kCases) {
    EXPECT_EQ(std::string(EventNameForResource(row.path)), row.name) << row.path;
  }
}

TEST(EventNameForResource, PlatformConfigurationKeepsSixEntries) {
  EXPECT_EQ(
      std::string(EventNameForResource("/tev-platform-config/v1/namespaces/HuxPurchaseWidget")),
      "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget");
  EXPECT_EQ(std::string(EventNameForResource("/tev-platform-config/v1/namespaces/Hux/deeper/x")),
            "OnJsonApiEvent_tev-platform-config_v1_namespaces_Hux_deeper");
  // Only as the first segment.
  EXPECT_EQ(std::string(EventNameForResource("/x/tev-platform-config/v1/namespaces/Hux")),
            "OnJsonApiEvent_x_tev-platform-config_v1");
}

TEST(ResourcePattern, StarStandsForOneSegment) {
  const struct {
    const char* pattern;
    const char* path;
    bool matches;
  } kCases[] = {
      {"/a/*/c", "/a/b/c", true}, {"/a/*/c", "/a//c", true}, {"/a/*/c", "/a/b/d/c", false},
      {"/a/*", "/a/b", true},     {"/a/*", "/a/", false},    {"/a/*", "/a/b/c", false},
      {"/a/*", "/a/bcd", true},   {"/a/b*", "/a/bc", true},  {"/a/*/c", "/a/b/c/", false},
      {"/a/b", "/a/b", true},     {"/a/b", "/a/bb", false},  {"/*/*", "/x/y", true},
  };
  for (const auto& row : kCases) {
    EXPECT_EQ(matchesResourcePattern(row.pattern, row.path), row.matches)
        << row.pattern << " against " << row.path;
  }
}

TEST(ResourceDispatcher, ExactAndPatternHandlersAllRunForOneEvent) {
  ResourceDispatcher dispatcher;
  std::string calls;
  auto handler = [&calls](const char* name) {
    return ResourceHandler::make(
        [&calls, name](const PluginResourceEvent&, const BindingRegistry*) { calls += name; });
  };
  dispatcher.setHandler("/a/b", handler("exact "));
  dispatcher.setHandler("/a/*", handler("pattern "));
  dispatcher.setHandler("/x/*", handler("other "));
  PluginResourceEvent event;
  event.uri = "a/b";  // the leading "/" is put back before matching
  dispatcher.dispatch(event);
  EXPECT_EQ(calls, "exact pattern ");
  EXPECT_EQ(dispatcher.exactCount(), 1u);
  EXPECT_EQ(dispatcher.patternCount(), 2u);

  // A second registration of the same path replaces the first.
  calls.clear();
  dispatcher.setHandler("/a/b", handler("replaced "));
  dispatcher.dispatch(event);
  EXPECT_EQ(calls, "replaced pattern ");
  EXPECT_EQ(dispatcher.exactCount(), 1u);
}

}  // namespace
}  // namespace tev
