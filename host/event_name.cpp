#include "host/event_name.h"

#include <cstddef>

namespace tev::devhost {

std::string eventNameForResource(std::string_view path) {
  std::string name = kJsonApiEvent;
  std::size_t entries = 1;
  std::size_t limit = 4;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    start = end + 1;
    if (segment.empty()) continue;
    if (entries == 1 && segment == "tev-platform-config") limit = 6;
    if (entries == limit) break;
    name.push_back('_');
    name.append(segment);
    ++entries;
  }
  return name;
}

}  // namespace tev::devhost
