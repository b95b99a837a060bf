#include "host/host_log.h"

#include <cstdio>

namespace tev::devhost {

std::string HostLog::levelWord(std::int32_t level) {
  switch (level) {
    case 0:
      return "  OKAY";
    case 1:
      return "  WARN";
    case 2:
      return " ERROR";
    case 3:
      return "ALWAYS";
    default:
      return "LEVEL" + std::to_string(level);
  }
}

void HostLog::line(int level, std::string_view text) {
  if (!enabled(level)) return;
  std::string out = "devhost: ";
  out.append(text);
  write(out);
}

void HostLog::plugin(std::string_view source, std::int32_t level, std::string_view message) {
  if (!enabled(level >= 2 ? 0 : 1)) return;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.remove_suffix(1);
  }
  std::string out(source);
  out.push_back(' ');
  out.append(levelWord(level));
  out.append("| ");
  out.append(message);
  write(out);
}

void HostLog::write(const std::string& text) {
  // Flushed line by line: tests and scripts read this output while the host runs.
  const std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace tev::devhost
