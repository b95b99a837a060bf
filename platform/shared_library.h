// Loads a shared library (a DLL on Windows) into the process and finds functions in it, for tools
// and tests that load modules themselves. The caller owns the handle and closes it once; the
// functions found through it are invalid after that.
#pragma once

namespace tev::platform {

// A function found in a library; cast it to its real type before calling it.
using LibraryFunction = void (*)();

// Loads the library at `path` (on Windows a bare file name is searched for beside the program
// first). Returns its handle, or null when it cannot be loaded.
[[nodiscard]] void* openSharedLibrary(const char* path);
// The exported function `name` of a loaded library, or null.
[[nodiscard]] LibraryFunction findLibraryFunction(void* library, const char* name);
// Releases a handle from openSharedLibrary; null is ignored. The library may stay loaded if it
// is still in use or has pinned itself.
void closeSharedLibrary(void* library);

}  // namespace tev::platform
