// The host's web pages and the npm packages they load, served from the web root (a directory the
// build names; --web-root points elsewhere). Each mount maps a URL prefix to a directory below
// the root:
//   /docs/    -> docs/           the interactive API documentation
//   /widget/  -> widget/         the purchase widget page
//   /vendor/  -> node_modules/   npm packages installed from the lockfile
// Requests are read-only (GET and HEAD) and never leave the mount's directory: encoded or literal
// "..", hidden names, backslashes, drive letters and NUL are refused, and symbolic links that
// lead out of the mount are not followed. Files larger than kMaxWebFileSize are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/http_reply.h"

namespace tev::devhost {

inline constexpr std::uintmax_t kMaxWebFileSize = 64u * 1024 * 1024;

// The Content-Type for a file name, by its extension (case ignored); binary for unknown ones.
std::string_view webContentType(std::string_view fileName);

// Percent-decodes a URL path below a mount and checks that it names a file inside the mount:
// no empty, "." or ".." segment, no segment starting with ".", no "\", ":" or NUL. Returns
// false when the path is refused.
[[nodiscard]] bool safeRelativePath(std::string_view encoded, std::string& out);

class WebFiles {
 public:
  explicit WebFiles(std::string root) : root_(std::move(root)) {}

  // The answer for `method` on the URL `path` (no query) when the path lies under a mount;
  // nullopt otherwise, so the caller goes on with its other routes.
  std::optional<HttpReply> serve(std::string_view method, std::string_view path) const;

  // Whether the npm package `name` is installed under the root's node_modules.
  bool hasPackage(std::string_view name) const;

  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

}  // namespace tev::devhost
