// The version of the host's and the plugin's API: three numbers and two optional texts. A plain
// value; render it with versionText (the plugin layer decides which host versions it accepts).
#pragma once

#include <cstdint>

#include "platform/allocator.h"

namespace tev {

struct PluginApiVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;
  String prerelease;
  String build;
};

// "major.minor.patch", then "-prerelease" and "+build" where those are not empty.
String versionText(const PluginApiVersion& version);

}  // namespace tev
