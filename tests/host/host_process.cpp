#include "tests/host/host_process.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

namespace devhosttest {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(10);

std::string readAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

Answer toAnswer(const httplib::Result& result) {
  Answer answer;
  if (!result) return answer;
  answer.status = result->status;
  answer.body = result->body;
  answer.headers = result->headers;
  answer.value = json::parse(answer.body, nullptr, false);
  if (answer.value.is_discarded()) answer.value = answer.body;
  return answer;
}

}  // namespace

std::string Answer::header(const std::string& name) const {
  const auto it = headers.find(name);
  return it != headers.end() ? it->second : std::string();
}

namespace {

std::string fromEnvironment(const char* name, const char* builtIn) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : builtIn;
}

}  // namespace

std::string widgetLibrary() { return fromEnvironment("TEV_WIDGET_LIBRARY", TEV_WIDGET_LIBRARY); }
std::string testPluginLibrary() {
  return fromEnvironment("TEV_TEST_PLUGIN_LIBRARY", TEV_TEST_PLUGIN_LIBRARY);
}
std::string fakePluginLibrary() {
  return fromEnvironment("TEV_FAKE_PLUGIN_LIBRARY", TEV_FAKE_PLUGIN_LIBRARY);
}
std::string devhostProgram() { return fromEnvironment("TEV_DEVHOST", TEV_DEVHOST); }
std::string devhostLauncher() { return fromEnvironment("TEV_DEVHOST_LAUNCHER", ""); }
std::string catalogueFile() { return TEV_CATALOGUE; }

bool windowsHost() {
  const std::string program = devhostProgram();
  return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

std::string stopRequestName() { return windowsHost() ? "Ctrl-C" : "SIGTERM"; }

int unusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

HostProcess::~HostProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (!outputPath_.empty()) std::remove(outputPath_.c_str());
}

bool HostProcess::start(std::vector<std::string> arguments, std::chrono::milliseconds timeout) {
  char pathTemplate[] = "/tmp/devhost-test-XXXXXX";
  const int fd = mkstemp(pathTemplate);
  if (fd < 0) return false;
  outputPath_ = pathTemplate;

  bool hasPort = false;
  for (const std::string& argument : arguments)
    hasPort = hasPort || argument.rfind("--port", 0) == 0;
  std::vector<std::string> words;
  if (!devhostLauncher().empty()) words.push_back(devhostLauncher());
  words.push_back(devhostProgram());
  if (!hasPort) words.insert(words.end(), {"--port", "0"});
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // fork and exec rather than posix_spawn, to ask for SIGKILL when this test process dies
  // first: a crashed test leaves no host behind. Only async-signal-safe calls in the child.
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fd);
  if (pid_ < 0) return false;

  static constexpr std::string_view kReady = "devhost: local API at http://127.0.0.1:";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = output();
    const std::size_t at = text.find(kReady);
    const std::size_t end = at == std::string::npos ? at : text.find('/', at + kReady.size());
    if (end != std::string::npos) {
      port_ = std::atoi(text.c_str() + at + kReady.size());
      return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return false;
}

int HostProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return exitStatus_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return exitStatus_;
    }
    std::this_thread::sleep_for(kPoll);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return -1;
}

int HostProcess::stop(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return exitStatus_;
  kill(pid_, windowsHost() ? SIGINT : SIGTERM);
  return waitForExit(timeout);
}

std::string HostProcess::output() const { return readAll(outputPath_); }

bool HostProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

Answer HostProcess::send(const std::string& method, const std::string& path,
                         const std::string& body, const std::string& contentType,
                         const httplib::Headers& headers) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_default_headers(headers);
  client.set_tcp_nodelay(true);
  client.set_connection_timeout(std::chrono::seconds(5));
  client.set_read_timeout(std::chrono::seconds(30));
  if (method == "GET") return toAnswer(client.Get(path));
  if (method == "DELETE") return toAnswer(client.Delete(path));
  if (method == "PUT") return toAnswer(client.Put(path, body, contentType));
  if (method == "PATCH") return toAnswer(client.Patch(path, body, contentType));
  return toAnswer(client.Post(path, body, contentType));
}

Answer HostProcess::get(const std::string& path) const { return send("GET", path, "", ""); }

Answer HostProcess::post(const std::string& path, const std::string& body,
                         const std::string& contentType) const {
  return send("POST", path, body, contentType);
}

Answer HostProcess::put(const std::string& path, const std::string& body) const {
  return send("PUT", path, body, "application/json");
}

Answer HostProcess::del(const std::string& path) const { return send("DELETE", path, "", ""); }

}  // namespace devhosttest
