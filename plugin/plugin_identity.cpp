#include "plugin/plugin_identity.h"

#include "logging/format_message.h"
#include "logging/log_message.h"
#include "logging/log_record.h"

namespace tev {

String GetFullNameFromShortNameAndType(std::string_view shortName, std::string_view type) {
  String fullName;
  if (type == "backend") {
    fullName = "kpm-be-";
  } else if (type == "frontend") {
    fullName = "kpm-fe-";
  } else {
    fullName = "kpm-xx-";
    const String text =
        formatMessage("GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type",
                      toString(shortName), toString(type));
    logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupDbg), 0,
               "            Plugin Manager| %s", text.c_str());
  }
  fullName.append(shortName);
  return fullName;
}

PluginIdentity makePluginIdentity(std::string_view shortName, std::string_view type,
                                  std::string_view qualifier) {
  PluginIdentity identity;
  identity.fullName = GetFullNameFromShortNameAndType(shortName, type);
  identity.shortName = toString(shortName);
  identity.type = toString(type);
  identity.qualifier = toString(qualifier);
  return identity;
}

}  // namespace tev
