// The purchase widget's plugin object: registers the purchase types and the three endpoints
// (configuration, validateItems, purchaseItems), follows the region-and-locale, login-session
// and platform-configuration resources, publishes the widget configuration, and forwards baskets
// to the store service. Created and destroyed like every plugin object (plugin/plugin_entry.h);
// its handlers may run on any host thread at the same time.
#pragma once

#include <string_view>

#include "binding/binding_property.h"
#include "plugin/backend_plugin.h"
#include "plugin/remoting_typed_result.h"
#include "plugin/typed_resource_event.h"
#include "purchase_widget/purchase_api_types.h"
#include "purchase_widget/widget_state.h"
#include "router/call_result.h"

namespace tev {

class PurchaseWidgetPlugin : public BackendPlugin {
 public:
  using PurchaseWidgetConfig = Orvik::Client::PurchaseWidget::Api::PurchaseWidgetConfig;
  using ValidationRequest = Orvik::Client::PurchaseWidget::Api::ValidationRequest;
  using PurchaseRequest = Orvik::Client::PurchaseWidget::Api::PurchaseRequest;
  using LoginSession = Orvik::Client::PurchaseWidget::Api::LoginSession;

  static constexpr std::string_view kConfigurationPath = "/tev-purchase-widget/v1/configuration";
  static constexpr std::string_view kValidateItemsPath = "/tev-purchase-widget/v1/validateItems";
  static constexpr std::string_view kPurchaseItemsPath = "/tev-purchase-widget/v1/purchaseItems";
  static constexpr std::string_view kRegionLocalePath = "/orvikclient/region-locale";
  static constexpr std::string_view kLoginSessionPath = "/tev-login/v1/session";
  static constexpr std::string_view kPlatformConfigurationPath =
      "/tev-platform-config/v1/namespaces/HuxPurchaseWidget";

  PurchaseWidgetPlugin() = default;
  ~PurchaseWidgetPlugin() override = default;

  // Registers the purchase types, then GET configuration, POST validateItems and POST
  // purchaseItems with the plugin's registration tags. Repeating it changes nothing.
  void RegisterEndpoints() override;
  // Observes the region and locale, the login session and the platform configuration, in this
  // order; each observation delivers the resource's current value at once when it can be
  // fetched. Returns true.
  bool Start() override;

  // Registers the sixteen purchase types under the namespace name with the registration tags.
  void registerPurchaseTypes();

  // The configuration endpoint's handler: the cached flags, succeeded, with the host's default
  // status. Never fails.
  [[nodiscard]] RemotingTypedResult<PurchaseWidgetConfig> configurationHandler() const;
  // The store endpoints' handlers: refused with 404 while the widget is disabled, otherwise the
  // mapped answer of the store (see purchase_widget/store_call.h). Block during the store call.
  [[nodiscard]] CallResult validateItems(const ValidationRequest& request);
  [[nodiscard]] CallResult purchaseItems(const PurchaseRequest& request);

  // The resource handlers Start binds.
  void onLocaleEvent(const TypedResourceEvent<BindingProperty>& event);
  void onSessionEvent(const TypedResourceEvent<LoginSession>& event);
  // Updates the state and publishes the configuration as "OnJsonApiEvent" after every Create
  // and Update, changed or not; again when a newer configuration arrived while it was being
  // published, so that the last event published carries the configuration in force.
  void onConfigurationEvent(const TypedResourceEvent<BindingProperty>& event);

  [[nodiscard]] const purchase_widget::WidgetState& state() const noexcept { return state_; }

 private:
  template <typename Request>
  CallResult callStore(purchase_widget::StoreOperation operation, const Request& request);
  void publishConfiguration();

  purchase_widget::WidgetState state_;
};

}  // namespace tev
