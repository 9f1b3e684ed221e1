#pragma once
// Libraries and parts of the program loaded when they are first needed: what they link and
// initialise is paid for only by the runs that use them.
#include <dlfcn.h>

#include <string>

namespace platform {

// Loads the shared object fileName from the folder of the running executable and finds its
// entry. On failure returns nullptr and says why in error, naming the file; the process goes on.
void* LoadModuleEntry(const std::string& fileName, const char* entry, std::string& error);

// Loads a library by its file name ("libz.so.1", looked up as the system looks up libraries) or
// by its path, its references resolved now (a part that lacks something fails here, not later
// with a crash) and its names kept to itself; nullptr when it cannot be loaded (dlerror says why).
void* OpenSharedLibrary(const char* name);

// Finds name in a loaded library as a function of fn's type; false when it is not there.
template <typename Fn>
bool BindSymbol(void* handle, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(::dlsym(handle, name));
  return fn != nullptr;
}

}  // namespace platform
