#include "logging/log_api.h"

#include "logging/internal/log_core.h"
#include "platform/process_wide_table.h"

namespace tev {
namespace {

const LogApi* findProcessLogApi() {
  const LogApi* own = &log_internal::moduleLogApi();
  const auto* shared = static_cast<const LogApi*>(platform::shareProcessWideTable(own));
  // A table of another version would not mean the same by its entries; keep a log of our own.
  if (shared == nullptr || shared->version == nullptr || shared->version() != kLogApiVersion) {
    return own;
  }
  return shared;
}

}  // namespace

const LogApi& logApi() {
  static const LogApi* const api = findProcessLogApi();
  return *api;
}

}  // namespace tev
