// The development host as a child process for the tests: started on a free port (--port 0), its
// output going to a file that the test reads, and talked to over real HTTP with cpp-httplib.
// Stopped with its stop request (or killed when the test ends first). One per test. The same
// tests run the Linux host or, under Wine, the Windows one: see devhostProgram().
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace devhosttest {

using nlohmann::json;

// An HTTP answer with its body parsed as JSON when it is JSON (else the text as a string).
struct Answer {
  int status = 0;  // 0: no answer at all
  std::string body;
  json value;
  std::string header(const std::string& name) const;
  httplib::Headers headers;
};

class HostProcess {
 public:
  HostProcess() = default;
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Starts devhost with `arguments` (plus --port 0 unless given) and waits until it prints its
  // local API line or exits. Returns false (with the output in `output()`) when it did not come
  // up within `timeout`.
  bool start(std::vector<std::string> arguments,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Sends the host's stop request (stopRequestName()) and waits for the exit; returns the exit
  // status (-1 after a timeout, when the process is killed, or for a death by signal).
  int stop(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Waits for an exit without signalling, as for a host that fails to start.
  int waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  int port() const { return port_; }
  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Everything the host printed so far.
  std::string output() const;
  // Waits until the output contains `text`; false after `timeout`.
  bool waitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  Answer get(const std::string& path) const;
  Answer post(const std::string& path, const std::string& body,
              const std::string& contentType = "application/json") const;
  Answer put(const std::string& path, const std::string& body) const;
  Answer del(const std::string& path) const;
  Answer send(const std::string& method, const std::string& path, const std::string& body,
              const std::string& contentType, const httplib::Headers& headers = {}) const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string outputPath_;
  int exitStatus_ = -1;
};

// The widget library, the runtime's test plugin, the misbehaving plugin of these tests and the
// host, as built with the tests. Each can be replaced through the environment variable of the
// same name (TEV_WIDGET_LIBRARY, TEV_TEST_PLUGIN_LIBRARY, TEV_FAKE_PLUGIN_LIBRARY, TEV_DEVHOST),
// and TEV_DEVHOST_LAUNCHER names a program that runs the host (Wine's, for devhost.exe and its
// DLLs from a Windows build).
std::string widgetLibrary();
std::string testPluginLibrary();
std::string fakePluginLibrary();
std::string devhostProgram();
std::string devhostLauncher();
std::string catalogueFile();

// True when the host under test is a Windows program.
bool windowsHost();
// What the host prints as the cause of its stop after stop(): "SIGTERM" from the Linux host,
// "Ctrl-C" from the Windows one, whose console gets Wine's translation of SIGINT.
std::string stopRequestName();

// A free TCP port on 127.0.0.1 (bound and released again), for a store that is not there.
int unusedPort();

}  // namespace devhosttest
