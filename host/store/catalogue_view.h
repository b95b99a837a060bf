// The embedded store's catalogue and wallets as the widget page reads them from the control
// API: what a client's shop would show before it asks the store to validate a basket. Pure
// functions over a loaded catalogue; they change nothing.
#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/store/store_catalogue.h"

namespace tev::devhost {

// {"language", "now", "items": [...]}: each item with its itemKey, name and description in
// `language` (else the catalogue's default language), iconUrl, maxQuantity, regular prices,
// every sale window with its prices and state ("past", "running" or "upcoming" at `now`), and
// "sale", the running one or null.
nlohmann::json catalogueView(const StoreCatalogue& catalogue, std::string_view language,
                             std::string_view now);

// The wallet of the account whose token the login session resource `session` holds ("idToken"),
// or nothing when there is no such account.
std::optional<nlohmann::json> walletForSession(const StoreCatalogue& catalogue,
                                               const nlohmann::json& session);

}  // namespace tev::devhost
