// The web root's file server: content types, refused paths, and what a directory of real files
// answers, including links that lead out of a mount.
#include "host/web_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace tev::devhost {
namespace {

namespace fs = std::filesystem;

std::string header(const HttpReply& reply, std::string_view name) {
  for (const auto& [key, value] : reply.headers) {
    if (key == name) return value;
  }
  return "";
}

TEST(WebContentType, ModulesStylesPagesAndImagesGetTheirTypes) {
  EXPECT_EQ(webContentType("app.mjs"), "text/javascript; charset=utf-8");
  EXPECT_EQ(webContentType("swagger-ui-bundle.js"), "text/javascript; charset=utf-8");
  EXPECT_EQ(webContentType("index.HTML"), "text/html; charset=utf-8");
  EXPECT_EQ(webContentType("a/b/site.css"), "text/css; charset=utf-8");
  EXPECT_EQ(webContentType("openapi.json"), "application/json; charset=utf-8");
  EXPECT_EQ(webContentType("logo.svg"), "image/svg+xml");
  EXPECT_EQ(webContentType("favicon-32x32.png"), "image/png");
  // A name ending in a known extension's letters without the dot is not of that type.
  EXPECT_EQ(webContentType("notjs"), "application/octet-stream");
  EXPECT_EQ(webContentType("archive.tar.gz"), "application/octet-stream");
}

TEST(SafeRelativePath, DecodesOrdinaryNamesAndRefusesEveryWayOut) {
  std::string out;
  EXPECT_TRUE(safeRelativePath("a/b.js", out));
  EXPECT_EQ(out, "a/b.js");
  EXPECT_TRUE(safeRelativePath("%41%20b.js", out));
  EXPECT_EQ(out, "A b.js");
  EXPECT_TRUE(safeRelativePath("dir/", out));
  EXPECT_EQ(out, "dir/");
  EXPECT_TRUE(safeRelativePath("", out));
  EXPECT_TRUE(safeRelativePath("a..b/c.d", out));

  for (const char* refused :
       {"..", "../x", "a/../../x", "%2e%2e/x", "%2E%2e%2fetc/passwd", "./x", "a/./b", ".hidden",
        "a/.git/config", "a//b", "/etc/passwd", "a\\..\\b", "a%5c..%5cb", "C:x", "c%3a/x",
        "x%00.js", "%zz", "%2", "x%"}) {
    EXPECT_FALSE(safeRelativePath(refused, out)) << refused;
  }
}

class WebFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("tev-web-files-" + std::to_string(seed()));
    fs::create_directories(root_ / "docs" / "sub");
    fs::create_directories(root_ / "node_modules" / "pkg");
    write(root_ / "docs" / "index.html", "<h1>docs</h1>");
    write(root_ / "docs" / "sub" / "app.mjs", "export {};");
    write(root_ / "docs" / ".secret", "hidden");
    write(root_ / "node_modules" / "pkg" / "image.png", std::string("\x89PNG\0\x01", 6));
    write(root_ / "outside.txt", "outside");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  static void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  HttpReply get(std::string_view path) const {
    std::optional<HttpReply> reply = WebFiles(root_.string()).serve("GET", path);
    return reply.value_or(HttpReply::error(-1, "not a web path"));
  }

  fs::path root_;
};

TEST_F(WebFilesTest, FilesComeWithTheirTypeAndBytesAndDirectoriesWithTheirIndex) {
  HttpReply page = get("/docs/");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "<h1>docs</h1>");
  EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
  EXPECT_EQ(header(page, "X-Content-Type-Options"), "nosniff");

  HttpReply module = get("/docs/sub/app.mjs");
  EXPECT_EQ(module.status, 200);
  EXPECT_EQ(module.contentType, "text/javascript; charset=utf-8");

  // Binary bytes, NUL included, from the npm packages' mount.
  HttpReply image = get("/vendor/pkg/image.png");
  EXPECT_EQ(image.status, 200);
  EXPECT_EQ(image.body, std::string("\x89PNG\0\x01", 6));
  EXPECT_EQ(image.contentType, "image/png");

  // A mount or directory named without its "/" is redirected, so relative links resolve.
  HttpReply mount = get("/docs");
  EXPECT_EQ(mount.status, 301);
  EXPECT_EQ(header(mount, "Location"), "/docs/");
  HttpReply directory = get("/docs/sub");
  EXPECT_EQ(directory.status, 301);
  EXPECT_EQ(header(directory, "Location"), "/docs/sub/");
}

TEST_F(WebFilesTest, OnlyReadsInsideTheMountAndLeavesOtherPathsToTheCaller) {
  const WebFiles files(root_.string());
  EXPECT_FALSE(files.serve("GET", "/tev-purchase-widget/v1/configuration").has_value());
  EXPECT_FALSE(files.serve("GET", "/docsx").has_value());
  EXPECT_FALSE(files.serve("GET", "/").has_value());

  EXPECT_EQ(get("/docs/missing.js").status, 404);
  EXPECT_EQ(get("/docs/.secret").status, 404);
  EXPECT_EQ(get("/docs/../outside.txt").status, 404);
  EXPECT_EQ(get("/docs/%2e%2e/outside.txt").status, 404);
  EXPECT_EQ(get("/vendor/pkg/%2e%2e/%2e%2e/outside.txt").status, 404);
  // The widget's directory does not exist here: nothing, rather than a failure.
  EXPECT_EQ(get("/widget/index.html").status, 404);

  EXPECT_FALSE(files.hasPackage("absent"));
  write(root_ / "node_modules" / "pkg" / "package.json", "{}");
  EXPECT_TRUE(files.hasPackage("pkg"));

  std::optional<HttpReply> post = files.serve("POST", "/docs/index.html");
  ASSERT_TRUE(post.has_value());
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(header(*post, "Allow"), "GET, HEAD");
}

TEST_F(WebFilesTest, LinksAreFollowedOnlyWhileTheyStayInsideTheMount) {
  std::error_code error;
  fs::create_symlink(root_ / "outside.txt", root_ / "docs" / "leak.txt", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  fs::create_symlink(root_ / "docs" / "index.html", root_ / "docs" / "alias.html", error);
  ASSERT_FALSE(error);
  EXPECT_EQ(get("/docs/leak.txt").status, 404);
  EXPECT_EQ(get("/docs/alias.html").status, 200);
}

}  // namespace
}  // namespace tev::devhost
