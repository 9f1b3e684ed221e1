#pragma once
// A part of the program kept in a shared object beside its executable, loaded only when needed:
// what the part links (and initialises) is paid for only by the runs that use it.
#include <dlfcn.h>

#include <string>

namespace platform {

// Loads the shared object fileName from the folder of the running executable and finds its
// entry. On failure returns nullptr and says why in error, naming the file; the process goes on.
void* LoadModuleEntry(const std::string& fileName, const char* entry, std::string& error);

// Finds name in a loaded library as a function of fn's type; false when it is not there.
template <typename Fn>
bool BindSymbol(void* handle, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(::dlsym(handle, name));
  return fn != nullptr;
}

}  // namespace platform
