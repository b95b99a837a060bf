// The purchase widget's state taken from other plugins' resources: the display locale, the two
// widget flags and the store's base URL from the platform configuration, and the player's token
// with the login verdict that decides when it is taken over. The host delivers events and
// requests on its own threads, so every access goes through one mutex and every reader gets a
// copy. Lives as long as the plugin object.
#pragma once

#include <cstdint>
#include <mutex>

#include "binding/binding_property.h"
#include "platform/allocator.h"
#include "plugin/plugin_manager_types.h"
#include "purchase_widget/purchase_api_types.h"
#include "purchase_widget/store_call.h"

namespace tev::purchase_widget {

class WidgetState {
 public:
  using PurchaseWidgetConfig = Orvik::Client::PurchaseWidget::Api::PurchaseWidgetConfig;
  using LoginSession = Orvik::Client::PurchaseWidget::Api::LoginSession;

  // A region-and-locale event: Create and Update take the text form of the member "locale" (the
  // empty text when it is missing), Delete empties the locale, other types change nothing.
  void applyLocaleEvent(PluginResourceEventType type, const BindingProperty& data);

  // A login-session event. Create and Update set the verdict (state SUCCEEDED with non-zero
  // account and tivan ids) and take the session's token over only when the verdict turns from
  // out to in; Delete logs out and empties the token; other types change nothing.
  void applySessionEvent(PluginResourceEventType type, const LoginSession& session);

  // A platform-configuration event. Create and Update take "BaseUrl" as text and "Enabled" and
  // "PurchaseDisclaimerEnabled" as truth values (a missing member counts as empty) and return
  // true: the configuration is to be published. Every other type changes nothing and returns
  // false.
  [[nodiscard]] bool applyConfigurationEvent(PluginResourceEventType type,
                                             const BindingProperty& data);

  // The configuration with the number of configuration events applied so far, read under one
  // lock: a publisher compares the number afterwards to learn whether a newer configuration
  // came in meanwhile.
  struct ConfigurationSnapshot {
    PurchaseWidgetConfig config;
    std::uint64_t applied = 0;
  };
  [[nodiscard]] ConfigurationSnapshot configurationSnapshot() const;
  [[nodiscard]] std::uint64_t configurationsApplied() const;

  [[nodiscard]] PurchaseWidgetConfig config() const;
  // Everything a store call reads, copied under one lock.
  [[nodiscard]] StoreSnapshot storeSnapshot() const;
  [[nodiscard]] String locale() const;
  [[nodiscard]] String baseUrl() const;
  [[nodiscard]] String idToken() const;
  [[nodiscard]] bool loggedIn() const;

 private:
  mutable std::mutex mutex_;
  String locale_;
  PurchaseWidgetConfig config_;
  String baseUrl_;
  String idToken_;
  bool loggedIn_ = false;
  std::uint64_t configurationsApplied_ = 0;
};

}  // namespace tev::purchase_widget
