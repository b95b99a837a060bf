// The file name of the program that hosts this process (the executable, not this library), as
// log lines name their process. Copied into the caller's buffer; nothing is kept.
#pragma once

#include <cstddef>

namespace tev::platform {

// Writes the file-name part of the host executable's path (the text after the last path
// separator) into `buffer` of `size` bytes, cut to fit and always terminated when size > 0.
// Returns its length, or 0 (and an empty text) when the system does not say.
std::size_t hostExecutableFileName(char* buffer, std::size_t size);

}  // namespace tev::platform
