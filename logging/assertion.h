// Reports of conditions the system cannot survive: one fixed multi-line text, logged as an error
// of the "DBG" group, after which a fatal error ends the process. Stateless; any thread may call.
// For recoverable failures return an error value instead.
#pragma once

#include <cstdint>

#include "platform/allocator.h"

namespace tev {

// Builds the report into `out` (replacing its content). Every text may be null or empty and
// `line` 0 for none:
//   "Assertion failed!\n\n" [ "File: " file "\n" ] [ "Line: " line "\n\n" ]
//   [ "Function: " function "\n\n" ] [ "Expression: " expression ]
//   [ "\n\nDescription: " description ]
void composeAssertion(String& out, const char* expression, const char* description,
                      const char* file, std::int32_t line, const char* function);

// Composes the report and logs it at level 2 in the group "DBG". Never fails; a report beyond
// the log's message limit is cut there.
void reportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function);

// The fatal stop: reports `code` (such as "ALE-EECF0606") as the expression, then ends the
// process abnormally with abort(). Nothing after the call runs, even when the log drops the
// report (muted, or its minimum level above 2).
[[noreturn]] void reportFatalError(const char* code);

}  // namespace tev
