#include "purchase_widget/purchase_widget_plugin.h"

#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_result.h"
#include "plugin/trace.h"
#include "router/endpoint.h"
#include "router/http_method.h"
#include "router/native_invoker.h"
#include "router/router.h"

namespace tev {

void PurchaseWidgetPlugin::registerPurchaseTypes() {
  Orvik::Client::PurchaseWidget::Api::registerPurchaseTypes(router(), namespaceName(),
                                                            registrationTags());
}

void PurchaseWidgetPlugin::RegisterEndpoints() {
  // The functions refer to their argument and result types by descriptor, so the types come
  // first.
  registerPurchaseTypes();
  Router& endpoints = router();

  EndpointDefinition configuration;
  configuration.method = HttpMethod::kGet;
  configuration.path = kConfigurationPath;
  configuration.tags = registrationTags();
  addTypedEndpoint(endpoints, std::move(configuration), {},
                   [this]() { return configurationHandler(); });

  EndpointDefinition validate;
  validate.method = HttpMethod::kPost;
  validate.path = kValidateItemsPath;
  validate.locations.push_back(ArgumentLocation::kBody);
  validate.tags = registrationTags();
  addNativeEndpoint(endpoints, std::move(validate), {"validationRequest"},
                    [this](const ValidationRequest& request) { return validateItems(request); });

  EndpointDefinition purchase;
  purchase.method = HttpMethod::kPost;
  purchase.path = kPurchaseItemsPath;
  purchase.locations.push_back(ArgumentLocation::kBody);
  purchase.tags = registrationTags();
  addNativeEndpoint(endpoints, std::move(purchase), {"purchaseRequest"},
                    [this](const PurchaseRequest& request) { return purchaseItems(request); });
}

bool PurchaseWidgetPlugin::Start() {
  ObserveResource<BindingProperty>(
      kRegionLocalePath,
      [this](const TypedResourceEvent<BindingProperty>& event) { onLocaleEvent(event); });
  ObserveResource<LoginSession>(
      kLoginSessionPath,
      [this](const TypedResourceEvent<LoginSession>& event) { onSessionEvent(event); });
  ObserveResource<BindingProperty>(
      kPlatformConfigurationPath,
      [this](const TypedResourceEvent<BindingProperty>& event) { onConfigurationEvent(event); });
  return true;
}

RemotingTypedResult<PurchaseWidgetPlugin::PurchaseWidgetConfig>
PurchaseWidgetPlugin::configurationHandler() const {
  return RemotingSuccess(state_.config());
}

CallResult PurchaseWidgetPlugin::validateItems(const ValidationRequest& request) {
  return callStore(purchase_widget::StoreOperation::kValidate, request);
}

CallResult PurchaseWidgetPlugin::purchaseItems(const PurchaseRequest& request) {
  return callStore(purchase_widget::StoreOperation::kPurchase, request);
}

template <typename Request>
CallResult PurchaseWidgetPlugin::callStore(purchase_widget::StoreOperation operation,
                                           const Request& request) {
  // One snapshot per call: a configuration or login change while the store answers must not
  // mix the flags, base URL, locale and token of two states.
  const purchase_widget::StoreSnapshot snapshot = state_.storeSnapshot();
  return purchase_widget::callStore(
      snapshot, operation, request, &router(),
      [this](std::string_view url, std::string_view body, std::uint32_t parameter,
             const HeaderMap& headers) { return postToUrl(url, body, parameter, headers); });
}

void PurchaseWidgetPlugin::onLocaleEvent(const TypedResourceEvent<BindingProperty>& event) {
  state_.applyLocaleEvent(event.eventType, event.data);
}

void PurchaseWidgetPlugin::onSessionEvent(const TypedResourceEvent<LoginSession>& event) {
  state_.applySessionEvent(event.eventType, event.data);
}

void PurchaseWidgetPlugin::onConfigurationEvent(const TypedResourceEvent<BindingProperty>& event) {
  if (!state_.applyConfigurationEvent(event.eventType, event.data)) return;
  publishConfiguration();
}

void PurchaseWidgetPlugin::publishConfiguration() {
  // Two configuration events handled at once would each publish what they read, and the host
  // may receive the older one last, announcing a configuration that is no longer in force. No
  // lock may be held while the event is fired (the host may call back into the plugin), so the
  // order is mended afterwards instead: when another configuration was applied while this one
  // was being fired, the current one is fired again. The last event fired therefore always
  // carries the configuration in force, at the cost of an extra event when two arrive at once.
  for (;;) {
    const purchase_widget::WidgetState::ConfigurationSnapshot snapshot =
        state_.configurationSnapshot();
    const RemotingTypedResult<PurchaseWidgetConfig> current = RemotingSuccess(snapshot.config);
    BindingResult converted;
    if (!convertToValue(converted, current.value, &router())) {
      trace("%s: Couldn't convert resource %s for event uri \"%s\"", shortName().c_str(),
            bindingTypeInfo<PurchaseWidgetConfig>().displayText, kConfigurationPath.data());
      return;
    }
    PluginResourceEvent event;
    event.uri = toString(kConfigurationPath);
    event.eventType = PluginResourceEventType::Update;
    event.data = std::move(converted.value());
    // Nobody waits for the publication, so there is no one to tell when it fails.
    static_cast<void>(FireResourceEvent("OnJsonApiEvent", event, 0));
    if (state_.configurationsApplied() == snapshot.applied) return;
  }
}

}  // namespace tev
