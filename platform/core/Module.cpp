#include "platform/core/Module.h"

#include <dlfcn.h>

#include "platform/core/Process.h"
#include "platform/core/Utf8.h"

namespace platform {

void* LoadModuleEntry(const std::string& fileName, const char* entry, std::string& error) {
  // By its full path only: a bare name would be looked up along the library path, where
  // anything of that name could stand in for the program's own part.
  const std::string program = Utf16ToUtf8(ExecutablePath());
  const size_t slash = program.rfind('/');
  if (slash == std::string::npos) {
    error = "the program's own folder is unknown, so \"" + fileName + "\" cannot be found";
    return nullptr;
  }
  const std::string path = program.substr(0, slash + 1) + fileName;
  // Every reference resolved now: a part that lacks something fails here with a message, not
  // later with a crash. Its names stay its own.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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

}  // namespace platform
