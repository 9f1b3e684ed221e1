// The program's entry: the command line on the terminal when no display answers, else the window.
// The window is a module beside the executable, loaded only then: a run on the terminal maps,
// relocates and initialises no toolkit library at all.
#include <cstdio>
#include <string>
#include <vector>

#include "app/WindowModule.h"
#include "app/core/TerminalHost.h"
#include "base/MySysUtils.h"
#include "platform/core/Display.h"
#include "platform/core/Module.h"
#include "platform/core/Files.h"
#include "tm/sqlite/SQLiteTable3.h"

namespace {

int RunWindow(int argc, char** argv) {
  std::string error;
  const auto entry = reinterpret_cast<TWindowEntry>(platform::LoadModuleEntry(MIRELCON_WINDOW_MODULE, kWindowEntryName, error));
  if (!entry) {
    std::fprintf(stderr, "mirelcon: the window cannot be shown: %s\n", error.c_str());
    return ExitFileFailed;
  }
  return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  LoadSQLiteLibrary();
  // A display that is set but cannot be reached counts as none: the toolkit would abort on it.
  if (platform::DisplayReachable(platform::DisplaySettingsFromEnvironment())) return RunWindow(argc, argv);

  static TDeviceSoundOutput sound;
  SetSoundOutput(&sound);
  if (argc < 2) {
    std::fprintf(stderr, "mirelcon: the window needs a display; give a file to convert on the command line.\n");
    return ExitBadParameters;
  }
  std::vector<WideString> params;
  for (int i = 1; i < argc; ++i) params.push_back(platform::NameFromNative(argv[i]));
  TTerminalHost host(stdout, stderr);
  return RunCommandLine(host, params);
}
