#include "router/request_values.h"

#include "router/percent_decode.h"

namespace tev {

void RequestValueMap::set(std::string_view key, std::string_view value) {
  const auto found = positions_.find(key);
  if (found != positions_.end()) {
    entries_[found->second].second.assign(value.data(), value.size());
    return;
  }
  positions_.emplace(toString(key), entries_.size());
  entries_.emplace_back(toString(key), toString(value));
}

const String* RequestValueMap::find(std::string_view key) const {
  const auto found = positions_.find(key);
  return found == positions_.end() ? nullptr : &entries_[found->second].second;
}

RequestValueMap parseQuery(std::string_view target) {
  RequestValueMap query;
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  while (true) {
    const std::size_t end = rest.find('&');
    const std::string_view piece = rest.substr(0, end);
    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      query.set(percentDecode(piece), {});
    } else {
      query.set(percentDecode(piece.substr(0, equals)), percentDecode(piece.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return query;
}

}  // namespace tev
