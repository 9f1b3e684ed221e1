#include "platform/core/Module.h"

#include <dlfcn.h>

#include "platform/core/Files.h"
#include "platform/core/Process.h"

namespace platform {

void* LoadModuleEntry(const std::string& fileName, const char* entry, std::string& error) {
  // By its full path only: a bare name would be looked up along the library path, where
  // anything of that name could stand in for the program's own part.
  const std::string program = NativeName(ExecutablePath());
  const size_t slash = program.rfind('/');
  if (slash == std::string::npos) {
    error = "the program's own folder is unknown, so \"" + fileName + "\" cannot be found";
    return nullptr;
  }
  const std::string path = program.substr(0, slash + 1) + fileName;
  void* handle = OpenSharedLibrary(path.c_str());
  if (!handle) {
    const char* why = ::dlerror();
    error = why ? why : path + ": cannot be loaded";
    return nullptr;
  }
  ::dlerror();
  void* found = ::dlsym(handle, entry);
  if (!found) {
    const char* why = ::dlerror();
    error = why ? why : path + ": no " + entry;
    // Not unloaded: its initialisers have run, and nothing is gained by undoing them now.
    return nullptr;
  }
  return found;
}

void* OpenSharedLibrary(const char* name) { return ::dlopen(name, RTLD_NOW | RTLD_LOCAL); }

}  // namespace platform
