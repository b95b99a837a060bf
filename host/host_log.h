// The host's console: its own lines and the plugin's log records, one line each on standard
// output, filtered by the verbosity option. One per host; every method may be called from any
// thread. Not a log framework: there are no targets, files or groups.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tev::devhost {

class HostLog {
 public:
  explicit HostLog(int verbosity) : verbosity_(verbosity) {}

  int verbosity() const { return verbosity_; }
  bool enabled(int level) const { return verbosity_ >= level; }

  // "devhost: <text>" when the verbosity is at least `level`.
  void line(int level, std::string_view text);
  // An error line, printed at every verbosity.
  void error(std::string_view text) { line(0, text); }

  // A plugin record as "<source> <level word>| <message>", without the message's trailing line
  // breaks. Levels 2 and 3 are printed at every verbosity, 0 and 1 from verbosity 1 on.
  void plugin(std::string_view source, std::int32_t level, std::string_view message);

  // "  OKAY", "  WARN", " ERROR", "ALWAYS"; "LEVEL<n>" for any other level.
  static std::string levelWord(std::int32_t level);

 private:
  void write(const std::string& text);

  const int verbosity_;
  std::mutex mutex_;
};

}  // namespace tev::devhost
