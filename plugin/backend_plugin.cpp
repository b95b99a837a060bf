#include "plugin/backend_plugin.h"

#include <new>
#include <utility>

#include "binding/binding_page_pool.h"
#include "logging/assertion.h"
#include "logging/format_message.h"
#include "logging/log_message.h"
#include "logging/log_record.h"
#include "logging/log_target.h"
#include "platform/allocation_counters.h"
#include "platform/allocator_hooks.h"
#include "plugin/plugin_version.h"
#include "router/operation_name.h"

namespace tev {
namespace {

constexpr char kIncompatibleHost[] = "ALE-EECF0606";
constexpr char kNoHost[] = "The plugin is not initialised: there is no host to send to";
constexpr std::uint64_t kSuppressedGroups = kLogGroupXtr;

}  // namespace

BackendPlugin::BackendPlugin()
    : router_(makeUnique<Router>()),
      entryTable_{&BackendPlugin::initializeEntry, &BackendPlugin::shutdownEntry,
                  &BackendPlugin::memoryStatisticsEntry} {
  if (!router_) throw std::bad_alloc();
}

BackendPlugin::~BackendPlugin() = default;

void BackendPlugin::Load(PluginDescriptor& descriptor, const char* shortName) {
  PluginApiVersion host;
  host.major = descriptor.major;
  host.minor = descriptor.minor;
  host.patch = descriptor.patch;
  const PluginApiVersion own = pluginApiVersion();
  if (!isCompatibleHostVersion(host, own)) {
    // The report itself carries only the code; this line says which versions met.
    const String text =
        formatMessage("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                      shortName, versionText(own), versionText(host));
    logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupDbg), 0, "%s", text.c_str());
    reportFatalError(kIncompatibleHost);
  }
  hostVersion_ = std::move(host);
  identity_ = makePluginIdentity(shortName, "backend", "");
  registrationTags_.clear();
  registrationTags_.push_back(String("Plugins"));
  registrationTags_.push_back(String("Plugin ") + identity_.shortName);
  namespaceName_ = operationName("", identity_.shortName);
  RegisterPluginManagerTypes(*router_);
  RegisterEndpoints();
  apiTable_ = router_->buildApiTable();
  descriptor.major = own.major;
  descriptor.minor = own.minor;
  descriptor.patch = own.patch;
  descriptor.entryTable = &entryTable_;
  descriptor.context = static_cast<void*>(this);
  descriptor.shortName = identity_.shortName.c_str();
  descriptor.apiTable = &apiTable_;
}

bool BackendPlugin::Initialize(const HostConnection& connection) {
  connection_ = connection;
  routeLogToHost();
  setUserAgent(
      formatMessage("OrvikClient/%1 (%2)", versionText(hostVersion_), identity_.shortName));
  setSession(connection.pluginHandle, identity_.shortName);
  createTelemetryAdapter();
  wireDispatcher();
  registerServiceProxyHandlers();
  return Start();
}

void BackendPlugin::routeLogToHost() {
  const LogApi& log = logReference_.api();
  // Another instance in this process got there first; its target already serves everyone.
  if (log.findTarget("PluginLogTarget") != nullptr) return;
  // The host's target is created and registered before anything else changes: when it cannot
  // be, Initialize fails with the built-in targets, level and suppressed groups as they were,
  // rather than leaving the process with nothing to log to.
  UniquePtr<PluginLogTarget> target = makeUnique<PluginLogTarget>(connection_.api);
  if (!target) throw std::bad_alloc();
  LogTargetConfig config;
  config.level = kLogLevelOkay;
  config.includeMask = 0;
  config.excludeMask = 0;
  config.pattern = kDefaultLogPattern;
  target->configure(config);
  // The log drops a registration it has no memory for.
  if (log.findTarget("PluginLogTarget") != target->targetInterface()) throw std::bad_alloc();
  logTarget_ = std::move(target);
  for (LogTargetInterface* builtin :
       {log.stdOutTarget(), log.stdErrTarget(), log.debuggerTarget()}) {
    if (builtin != nullptr) builtin->unregisterTarget(builtin);
  }
  log.setLevel(kLogLevelOkay);
  log.setSuppressedGroups(static_cast<std::uint32_t>(kSuppressedGroups),
                          static_cast<std::uint32_t>(kSuppressedGroups >> 32));
}

void BackendPlugin::RegisterEndpoints() {}

bool BackendPlugin::Start() { return true; }

void BackendPlugin::SendLocalRequest(HostLocalAnswer& response, const HostLocalRequest& request) {
  const HostPluginApi* api = hostApi();
  if (api == nullptr) {
    response.error = kNoHost;
    response.hasError = 1;
    return;
  }
  api->sendLocalRequest(api, &response, &request);
}

void BackendPlugin::SendExternalRequest(HostExternalAnswer& response,
                                        const HostExternalRequest& request) {
  const HostPluginApi* api = hostApi();
  if (api == nullptr) {
    response.errorCode = -1;
    response.body = kNoHost;
    response.bodyLength = sizeof kNoHost - 1;
    return;
  }
  api->sendExternalRequest(api, &response, &request);
}

void BackendPlugin::FireEvent(const HostEvent& event) {
  if (const HostPluginApi* api = hostApi()) api->fireEvent(api, &event);
}

void BackendPlugin::AddEventHandler(const char* name, std::uint32_t handle,
                                    HostEventCallback callback, void* context, std::uint32_t flag) {
  if (const HostPluginApi* api = hostApi()) {
    api->addEventHandler(api, name, handle, callback, context, flag);
  }
}

void BackendPlugin::RemoveEventHandler(const char* name, std::uint32_t handle) {
  if (const HostPluginApi* api = hostApi()) api->removeEventHandler(api, name, handle);
}

void BackendPlugin::CallHostFunction5(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                      double value, std::uint32_t d) {
  if (const HostPluginApi* api = hostApi()) api->function5(api, a, b, c, value, d);
}

void BackendPlugin::Yield() {
  if (const HostPluginApi* api = hostApi()) api->yield(api);
}

void BackendPlugin::BeginWait(const char* label, std::uint32_t flag) {
  if (const HostPluginApi* api = hostApi()) api->beginWait(api, label, flag);
}

void BackendPlugin::EndWait() {
  if (const HostPluginApi* api = hostApi()) api->endWait(api);
}

std::uint8_t BackendPlugin::initializeEntry(void* context,
                                            const HostConnection* connection) noexcept {
  if (context == nullptr || connection == nullptr || connection->api == nullptr) return 0;
  try {
    return static_cast<BackendPlugin*>(context)->Initialize(*connection) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void BackendPlugin::shutdownEntry(void* context) noexcept {
  if (context == nullptr) return;
  auto* plugin = static_cast<BackendPlugin*>(context);
  try {
    plugin->ReleaseSubscriptions();
  } catch (...) {
    // The object goes regardless; the host is done with it.
  }
  // The block starts at the most derived object, whichever feature class that is.
  void* block = dynamic_cast<void*>(plugin);
  plugin->~BackendPlugin();
  hookedFree(block);
  // The value pages kept for the next request: there is none after Shutdown. A host that keeps
  // the library loaded keeps no spare of it mapped.
  BindingPagePool::instance().releaseSpares();
}

void BackendPlugin::memoryStatisticsEntry(void*, MemoryStatistics* out) noexcept {
  if (out == nullptr) return;
  const AllocationSnapshot counters = snapshot(processAllocationCounters());
  *out = MemoryStatistics{};
  out->peakBytesInUse = counters.peakBytesInUse;
  out->liveBlocksAtPeak = counters.liveBlocksAtPeak;
  out->bytesAllocated = counters.bytesAllocated;
  out->allocations = counters.allocations;
  out->bytesFreed = counters.bytesFreed;
  out->frees = counters.frees;
}

}  // namespace tev
