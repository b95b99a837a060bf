#include "purchase_widget/widget_state.h"

#include <utility>

namespace tev::purchase_widget {
namespace {

using Orvik::Client::PurchaseWidget::Api::LoginSessionStates;

bool isCreateOrUpdate(PluginResourceEventType type) {
  return type == PluginResourceEventType::Create || type == PluginResourceEventType::Update;
}

}  // namespace

void WidgetState::applyLocaleEvent(PluginResourceEventType type, const BindingProperty& data) {
  if (isCreateOrUpdate(type)) {
    String locale = data.getMember("locale").textForm();
    const std::lock_guard<std::mutex> lock(mutex_);
    locale_ = std::move(locale);
  } else if (type == PluginResourceEventType::Delete) {
    const std::lock_guard<std::mutex> lock(mutex_);
    locale_.clear();
  }
}

void WidgetState::applySessionEvent(PluginResourceEventType type, const LoginSession& session) {
  if (isCreateOrUpdate(type)) {
    const bool loggedIn = session.state == LoginSessionStates::SUCCEEDED &&
                          session.accountId != 0 && session.tivanId != 0;
    // The token is taken over only on the way in: a session that is updated while logged in,
    // or that leaves SUCCEEDED, keeps the token the widget already has.
    String token = loggedIn ? session.idToken : String();
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool wasLoggedIn = loggedIn_;
    loggedIn_ = loggedIn;
    if (!wasLoggedIn && loggedIn) idToken_ = std::move(token);
  } else if (type == PluginResourceEventType::Delete) {
    const std::lock_guard<std::mutex> lock(mutex_);
    loggedIn_ = false;
    idToken_.clear();
  }
}

bool WidgetState::applyConfigurationEvent(PluginResourceEventType type,
                                          const BindingProperty& data) {
  if (!isCreateOrUpdate(type)) return false;
  // Creating member access on a copy: the members are read as the configuration plugin's
  // resource defines them, a missing one as empty, without touching the caller's event.
  BindingProperty members = data;
  String baseUrl = members.member("BaseUrl").textForm();
  PurchaseWidgetConfig config;
  config.enabled = members.member("Enabled").truthValue();
  config.purchaseDisclaimerEnabled = members.member("PurchaseDisclaimerEnabled").truthValue();
  const std::lock_guard<std::mutex> lock(mutex_);
  baseUrl_ = std::move(baseUrl);
  config_ = config;
  ++configurationsApplied_;
  return true;
}

WidgetState::ConfigurationSnapshot WidgetState::configurationSnapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ConfigurationSnapshot{config_, configurationsApplied_};
}

std::uint64_t WidgetState::configurationsApplied() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return configurationsApplied_;
}

WidgetState::PurchaseWidgetConfig WidgetState::config() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

StoreSnapshot WidgetState::storeSnapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return StoreSnapshot{config_.enabled, baseUrl_, locale_, idToken_};
}

String WidgetState::locale() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return locale_;
}

String WidgetState::baseUrl() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return baseUrl_;
}

String WidgetState::idToken() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return idToken_;
}

bool WidgetState::loggedIn() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return loggedIn_;
}

}  // namespace tev::purchase_widget
