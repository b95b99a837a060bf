// The loader's settings and the plugin-manager types, with the plugin object in this process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "binding/binding_conversion.h"
#include "binding/binding_page_pool.h"
#include "binding/binding_property.h"
#include "logging/log_api.h"
#include "logging/log_record.h"
#include "platform/allocation_counters.h"
#include "platform/allocator_hooks.h"
#include "plugin/backend_plugin.h"
#include "plugin/plugin_entry.h"
#include "plugin/plugin_identity.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/plugin_version.h"

namespace tev {
namespace {

using ::testing::ElementsAre;

PluginApiVersion version(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  PluginApiVersion v;
  v.major = major;
  v.minor = minor;
  v.patch = patch;
  return v;
}

TEST(HostVersion, OnlyTheSameMajorAtOrAboveThePluginsVersionIsCompatible) {
  const PluginApiVersion plugin = pluginApiVersion();
  EXPECT_EQ(std::string(versionText(plugin)), "18.0.0");
  for (const auto& host : {version(18, 0, 0), version(18, 5, 2), version(18, 0, 7)}) {
    EXPECT_TRUE(isCompatibleHostVersion(host, plugin)) << versionText(host);
  }
  for (const auto& host : {version(17, 9, 9), version(19, 0, 0), version(0, 0, 0)}) {
    EXPECT_FALSE(isCompatibleHostVersion(host, plugin)) << versionText(host);
  }
  // Against a plugin of 18.2.3 the minor and patch count, in that order.
  const PluginApiVersion newer = version(18, 2, 3);
  EXPECT_FALSE(isCompatibleHostVersion(version(18, 2, 2), newer));
  EXPECT_FALSE(isCompatibleHostVersion(version(18, 1, 9), newer));
  EXPECT_TRUE(isCompatibleHostVersion(version(18, 3, 0), newer));
  PluginApiVersion tagged = version(18, 0, 0);
  tagged.prerelease = "beta";
  EXPECT_TRUE(isCompatibleHostVersion(tagged, pluginApiVersion()));
}

TEST(PluginIdentity, FullNameDependsOnTheType) {
  EXPECT_EQ(std::string(GetFullNameFromShortNameAndType("tev-purchase-widget", "backend")),
            "kpm-be-tev-purchase-widget");
  EXPECT_EQ(std::string(GetFullNameFromShortNameAndType("x", "frontend")), "kpm-fe-x");
  EXPECT_EQ(std::string(GetFullNameFromShortNameAndType("x", "Backend")), "kpm-xx-x");
  const PluginIdentity identity = makePluginIdentity("tev-purchase-widget", "backend", "");
  EXPECT_EQ(std::string(identity.shortName), "tev-purchase-widget");
  EXPECT_EQ(std::string(identity.type), "backend");
  EXPECT_TRUE(identity.qualifier.empty());
}

// Loads a BackendPlugin in this process, as the library's entry does.
struct LoadedPlugin {
  explicit LoadedPlugin(const char* shortName) {
    descriptor.major = 18;
    descriptor.minor = 3;
    loadPlugin<BackendPlugin>(&descriptor, shortName);
    plugin = static_cast<BackendPlugin*>(descriptor.context);
  }
  ~LoadedPlugin() {
    if (descriptor.entryTable != nullptr) descriptor.entryTable->shutdown(descriptor.context);
  }
  PluginDescriptor descriptor{};
  BackendPlugin* plugin = nullptr;
};

TEST(Loader, SetsTheIdentityTagsAndNamespaceName) {
  LoadedPlugin loaded("tev-purchase-widget");
  ASSERT_NE(loaded.plugin, nullptr);
  const BackendPlugin& plugin = *loaded.plugin;
  EXPECT_EQ(std::string(plugin.identity().fullName), "kpm-be-tev-purchase-widget");
  EXPECT_EQ(std::string(plugin.namespaceName()), "TevPurchaseWidget");
  std::vector<std::string> tags(plugin.registrationTags().begin(), plugin.registrationTags().end());
  EXPECT_THAT(tags, ElementsAre("Plugins", "Plugin tev-purchase-widget"));
  EXPECT_EQ(plugin.hostVersion().minor, 3u);
  EXPECT_EQ(std::string(loaded.descriptor.shortName), "tev-purchase-widget");
  EXPECT_EQ(loaded.descriptor.apiTable, &plugin.apiTable());
  EXPECT_EQ(loaded.descriptor.entryTable, &plugin.entryTable());
  EXPECT_EQ(plugin.registry(), static_cast<const BindingRegistry*>(&loaded.plugin->router()));
  EXPECT_EQ(plugin.logTarget(), nullptr);
}

TEST(Loader, ShutdownReturnsTheValuePagesKeptForTheNextRequest) {
  BindingPagePool& pool = BindingPagePool::instance();
  {
    LoadedPlugin loaded("tev-purchase-widget");
    {
      BindingProperty tree;
      for (int i = 0; i < 2000; ++i) tree.append().member("id").setSigned(i);
    }
    EXPECT_GT(pool.spareBytes(), 0u) << "a dropped tree leaves its pages to the next one";
  }
  EXPECT_EQ(pool.spareBytes(), 0u);
}

// Fails the allocation with the given number (1-based) after it is installed, then none.
struct FailingAllocation {
  explicit FailingAllocation(std::uint64_t failing) : saved(allocatorHooks()) {
    gCountdown = failing;
    allocatorHooks().allocate = [](std::size_t size, void* context) -> void* {
      if (gCountdown != 0 && --gCountdown == 0) return nullptr;
      return countingAllocate(size, context);
    };
  }
  ~FailingAllocation() {
    allocatorHooks() = saved;
    gCountdown = 0;
  }
  static inline std::uint64_t gCountdown = 0;
  AllocatorHooks saved;
};

TEST(Loader, RunningOutOfMemoryLeavesTheDescriptorUnfilledAndNothingBehind) {
  // How many allocations a whole load and shutdown make.
  std::uint64_t loadAllocations = 0;
  {
    const std::uint64_t before = snapshot(processAllocationCounters()).allocations;
    LoadedPlugin loaded("tev-purchase-widget");
    ASSERT_NE(loaded.plugin, nullptr);
    loadAllocations = snapshot(processAllocationCounters()).allocations - before;
  }
  ASSERT_GT(loadAllocations, 10u);
  // Fail each allocation of the load in turn.
  for (std::uint64_t failing = 1; failing <= loadAllocations; ++failing) {
    const AllocationSnapshot before = snapshot(processAllocationCounters());
    {
      const FailingAllocation failure(failing);
      LoadedPlugin loaded("tev-purchase-widget");
      if (loaded.descriptor.entryTable == nullptr) {
        EXPECT_EQ(loaded.descriptor.context, nullptr) << failing;
        EXPECT_EQ(loaded.descriptor.shortName, nullptr) << failing;
        EXPECT_EQ(loaded.descriptor.apiTable, nullptr) << failing;
        EXPECT_EQ(loaded.descriptor.major, 18u) << "the host's version stays";
        EXPECT_EQ(loaded.descriptor.minor, 3u);
      }
    }
    const AllocationSnapshot after = snapshot(processAllocationCounters());
    EXPECT_EQ(after.bytesInUse(), before.bytesInUse()) << "allocation " << failing;
  }
}

// When the plugin's log target cannot be created, Initialize fails and the process keeps the
// targets, level and suppressed groups it had: it is never left with nothing to log to.
TEST(Initialize, ATargetThatCannotBeCreatedLeavesTheLogAsItWas) {
  LoadedPlugin loaded("tev-purchase-widget");
  ASSERT_NE(loaded.plugin, nullptr);
  const LogApi& log = logApi();
  const LogReference reference;
  // The built-in targets in place, as a fresh process has them, and settings of the host's own.
  for (LogTargetInterface* builtin : {log.stdErrTarget(), log.debuggerTarget()}) {
    builtin->registerTarget(builtin);
  }
  log.setLevel(kLogLevelError);
  log.setSuppressedGroups(0x30, 0x1);
  const HostPluginApi api{};
  const HostConnection connection{&api, 7};
  {
    const FailingAllocation failure(1);  // the target's own block
    EXPECT_EQ(loaded.descriptor.entryTable->initialize(loaded.descriptor.context, &connection), 0);
  }
  EXPECT_EQ(loaded.plugin->logTarget(), nullptr);
  EXPECT_EQ(log.findTarget("PluginLogTarget"), nullptr);
  EXPECT_EQ(log.findTarget("StdErrLogTarget"), log.stdErrTarget());
  EXPECT_EQ(log.findTarget("DebuggerConsoleLogTarget"), log.debuggerTarget());
  EXPECT_EQ(log.getLevel(), kLogLevelError);
  EXPECT_EQ(log.getSuppressedGroups(), (std::uint64_t{1} << 32) | 0x30u);
  log.setLevel(kLogLevelWarn);
  log.setSuppressedGroups(static_cast<std::uint32_t>(kLogGroupXtr), 0);
}

TEST(Loader, RegistersThePluginManagerTypesAndEvents) {
  LoadedPlugin loaded("tev-purchase-widget");
  ASSERT_NE(loaded.plugin, nullptr);
  const BindingRegistry& registry = *loaded.plugin->registry();
  for (const char* name : {"PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                           "PluginResourceEvent", "PluginKestEvent", "PluginKestResponse",
                           "PluginServiceProxyResponse"}) {
    const BindingTypeDescriptor* type = registry.findType(name);
    ASSERT_NE(type, nullptr) << name;
    ASSERT_EQ(type->tags.size(), 1u) << name;
    EXPECT_EQ(std::string(type->tags[0]), "oclient");
    EXPECT_TRUE(type->description.empty());
  }
  const struct {
    const char* name;
    const char* dataType;
    const char* description;
  } events[] = {
      {"OnJsonApiEvent", "PluginResourceEvent", "Fired when a resource is changed."},
      {"OnKestEvent", "PluginKestEvent",
       "Fired when a message is received over the Kest connection."},
      {"OnServiceProxyUuidEvent", "PluginServiceProxyResponse",
       "Fired when a uuid-based service proxy message is received."},
      {"OnServiceProxyMethodEvent", "PluginServiceProxyResponse",
       "Fired when a method-based service proxy message is received."},
      {"OnServiceProxyAsyncEvent", "PluginServiceProxyResponse",
       "Fired when an async service proxy message is received."},
  };
  for (const auto& expected : events) {
    const BindingEventDescriptor* event = registry.findEvent(expected.name);
    ASSERT_NE(event, nullptr) << expected.name;
    EXPECT_EQ(std::string(event->description), expected.description) << expected.name;
    EXPECT_EQ(event->dataType, registry.findType(expected.dataType)) << expected.name;
    ASSERT_EQ(event->tags.size(), 1u) << expected.name;
    EXPECT_EQ(std::string(event->tags[0]), "oclient") << expected.name;
  }
  EXPECT_EQ(registry.findType("PluginServiceProxyResponse")->fields.size(), 6u);
}

TEST(PluginManagerTypes, SecondRegistrationChangesNothing) {
  BindingRegistry registry;
  registry.initialize();
  registerPluginManagerTypes(registry);
  const BindingTypeDescriptor* first = registry.findType("PluginResourceEvent");
  registerPluginManagerTypes(registry);
  EXPECT_EQ(registry.findType("PluginResourceEvent"), first);
  EXPECT_EQ(first->fields.size(), 3u);
  EXPECT_EQ(first->tags.size(), 1u);
}

TEST(PluginManagerTypes, EventTypeArrivesAsNumberOrName) {
  BindingRegistry registry;
  registry.initialize();
  registerPluginManagerTypes(registry);
  const auto convert = [&registry](const BindingProperty& type, std::string& error) {
    BindingProperty value;
    value.member("uri").setString("/a");
    value.member("eventType") = type;
    PluginResourceEvent event;
    BindingResult result;
    error.clear();
    if (!convertToNative(result, value, event, "<result>", &registry)) {
      error = std::string(result.error());
    }
    return event.eventType;
  };
  std::string error;
  BindingProperty type;
  type.setSigned(1);
  EXPECT_EQ(convert(type, error), PluginResourceEventType::Update);
  EXPECT_EQ(error, "");
  type.setString("Update");
  EXPECT_EQ(convert(type, error), PluginResourceEventType::Update);
  type.setSigned(3);
  convert(type, error);
  EXPECT_EQ(error, "3 is not a valid PluginResourceEventType enumeration value for 'eventType'.");
}

}  // namespace
}  // namespace tev
