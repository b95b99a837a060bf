// The diagnostic hook: texts that name what the plugin is doing ("%s: Subscribing to event: %s")
// are handed here with a printf-style format and discarded, so they never reach the log or the
// host. Keep the calls: they document the flow and give a debugger a place to stop.
#pragma once

namespace tev {

// Takes a printf-style format and its arguments and discards them.
[[gnu::format(printf, 1, 2)]] inline void trace(const char* format, ...) noexcept {
  static_cast<void>(format);
}

}  // namespace tev
