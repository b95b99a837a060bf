#include "logging/plugin_api_version.h"

#include "logging/format_message.h"

namespace tev {

String versionText(const PluginApiVersion& version) {
  // The numbers fit a 33-byte buffer: three 10-digit values, two dots and the terminator.
  char numbers[33];
  const void* arguments[] = {&version.major, &version.minor, &version.patch};
  const FormatArgKind* kinds[] = {&formatArgKindOf<std::uint32_t>(),
                                  &formatArgKindOf<std::uint32_t>(),
                                  &formatArgKindOf<std::uint32_t>()};
  const std::size_t length = formatInto(numbers, sizeof numbers, "%1.%2.%3", kinds, arguments, 3);
  String text(numbers, length);
  if (!version.prerelease.empty()) {
    text += '-';
    text += version.prerelease;
  }
  if (!version.build.empty()) {
    text += '+';
    text += version.build;
  }
  return text;
}

}  // namespace tev
