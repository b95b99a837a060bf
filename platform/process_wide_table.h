// The one table of functions that every module of the process shares: the process-wide log's.
// The first module to offer its own table publishes it; every module, loaded before or after,
// then finds that one. Only loaded memory and, on Windows, a kernel object named after the process
// are used: no file, registry key, environment variable or exported symbol.
#pragma once

namespace tev::platform {

// Returns the table published for this process, publishing `candidate` (which must stay valid
// while this module is loaded) when there is none yet. Another module's table is returned only
// once that module is pinned: it stays loaded until the process ends, so the table's functions
// never go away under the modules that use them (the main program needs no pin). A module whose
// table is published and never adopted elsewhere still unloads normally and withdraws its table
// as it goes. Call it once per module (the log's accessor caches the result). When the system
// refuses, or the publisher cannot be pinned after a few looks, `candidate` is returned without
// being published and the module keeps a log of its own.
[[nodiscard]] const void* shareProcessWideTable(const void* candidate);

// For tests: while set, pinning another module fails in this module, as when the system refuses.
void refuseModulePinsForTesting(bool refuse);

}  // namespace tev::platform
