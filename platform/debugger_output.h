// Hands a text to the system's debugger message channel, where an attached debugger or a
// system-wide listener shows it. Cheap and silent when nobody listens. The text is copied.
// Not a place for output that must be seen: use standard error for that.
#pragma once

namespace tev::platform {

// Sends one zero-terminated text (normally a whole line with its line feed). Null is ignored.
// Windows: OutputDebugStringA. POSIX systems have no such channel; there the text goes to the
// system log at debug priority (facility user), which a developer follows with e.g.
// `journalctl -f -p debug` much as a debugger shows Windows' debug strings.
void writeDebuggerOutput(const char* text);

}  // namespace tev::platform
