#include "host/web_files.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

namespace tev::devhost {
namespace {

namespace fs = std::filesystem;

struct Mount {
  std::string_view prefix;  // with its trailing "/"
  std::string_view directory;
};

constexpr std::array<Mount, 3> kMounts = {{
    {"/docs/", "docs"},
    {"/widget/", "widget"},
    {"/vendor/", "node_modules"},
}};

struct ContentType {
  std::string_view extension;
  std::string_view type;
};

constexpr std::array<ContentType, 17> kContentTypes = {{
    {".html", "text/html; charset=utf-8"},
    {".htm", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".mjs", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json; charset=utf-8"},
    {".map", "application/json; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".gif", "image/gif"},
    {".ico", "image/x-icon"},
    {".webp", "image/webp"},
    {".woff2", "font/woff2"},
    {".woff", "font/woff"},
    {".txt", "text/plain; charset=utf-8"},
}};

constexpr std::string_view kBinary = "application/octet-stream";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (lower(tail[i]) != suffix[i]) return false;
  }
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-8 text as a path on every platform (a plain char path is in the ANSI code page on
// Windows).
fs::path utf8Path(std::string_view text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

HttpReply withFileHeaders(HttpReply reply) {
  reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
  reply.headers.emplace_back("Cache-Control", "no-cache");
  return reply;
}

HttpReply redirect(std::string location) {
  HttpReply reply = HttpReply::error(301, "Moved to " + location);
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

HttpReply notFound(std::string_view path) {
  return HttpReply::error(404, "Nothing at GET " + std::string(path));
}

// Whether `inner` lies inside `outer`, both canonical.
bool isInside(const fs::path& inner, const fs::path& outer) {
  const fs::path relative = inner.lexically_relative(outer);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

std::string_view webContentType(std::string_view fileName) {
  for (const ContentType& entry : kContentTypes) {
    if (endsWithIgnoringCase(fileName, entry.extension)) return entry.type;
  }
  return kBinary;
}

bool safeRelativePath(std::string_view encoded, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c == '%') {
      const int high = i + 2 < encoded.size() ? hexDigit(encoded[i + 1]) : -1;
      const int low = high >= 0 ? hexDigit(encoded[i + 2]) : -1;
      if (low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0' || c == '\\' || c == ':') return false;
    out.push_back(c);
  }
  // Segment by segment, after decoding, so "%2e%2e" counts as "..".
  std::size_t start = 0;
  while (start <= out.size()) {
    std::size_t end = out.find('/', start);
    if (end == std::string::npos) end = out.size();
    const std::string_view segment = std::string_view(out).substr(start, end - start);
    const bool last = end == out.size();
    // A trailing "/" (an empty last segment) names the directory's index.
    if (segment.empty() ? !last : segment.front() == '.') return false;
    start = end + 1;
  }
  return true;
}

bool WebFiles::hasPackage(std::string_view name) const {
  std::error_code error;
  return fs::is_regular_file(utf8Path(root_) / "node_modules" / utf8Path(name) / "package.json",
                             error);
}

std::optional<HttpReply> WebFiles::serve(std::string_view method, std::string_view path) const {
  const Mount* mount = nullptr;
  for (const Mount& candidate : kMounts) {
    if (path.substr(0, candidate.prefix.size()) == candidate.prefix ||
        path == candidate.prefix.substr(0, candidate.prefix.size() - 1)) {
      mount = &candidate;
      break;
    }
  }
  if (mount == nullptr) return std::nullopt;
  if (method != "GET" && method != "HEAD") {
    HttpReply reply = HttpReply::error(405, "Method not allowed; use GET, HEAD");
    reply.headers.emplace_back("Allow", "GET, HEAD");
    return reply;
  }
  if (path.size() < mount->prefix.size()) return redirect(std::string(mount->prefix));

  std::string relative;
  if (!safeRelativePath(path.substr(mount->prefix.size()), relative)) return notFound(path);
  if (relative.empty() || relative.back() == '/') relative += "index.html";

  std::error_code error;
  const fs::path directory =
      fs::weakly_canonical(utf8Path(root_) / utf8Path(mount->directory), error);
  if (error) return notFound(path);
  const fs::path requested = directory / utf8Path(relative);
  const fs::file_status status = fs::status(requested, error);
  if (error || !fs::exists(status)) return notFound(path);
  if (fs::is_directory(status)) return redirect(std::string(path) + "/");
  // A symbolic link may lead anywhere; only what stays inside the mount is served.
  const fs::path file = fs::canonical(requested, error);
  if (error || !isInside(file, directory) || !fs::is_regular_file(status)) return notFound(path);
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) return notFound(path);
  if (size > kMaxWebFileSize) {
    return HttpReply::error(500, "The file at " + std::string(path) + " is too large to serve");
  }

  std::ifstream stream(file, std::ios::binary);
  std::string body;
  if (stream.is_open()) {
    body.reserve(static_cast<std::size_t>(size));
    body.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }
  if (!stream.is_open() || stream.bad()) {
    return HttpReply::error(500, "Cannot read the file at " + std::string(path));
  }
  return withFileHeaders(
      HttpReply{200, std::move(body), std::string(webContentType(relative)), {}});
}

}  // namespace tev::devhost
