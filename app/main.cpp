// The program's entry: the command line without a window when there is no display.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/core/TerminalHost.h"
#include "platform/core/Utf8.h"
#include "tm/sqlite/SQLiteTable3.h"

int main(int argc, char** argv) {
  LoadSQLiteLibrary();
  std::vector<WideString> params;
  for (int i = 1; i < argc; ++i) params.push_back(platform::Utf8ToUtf16(argv[i]));
  if (params.empty()) {
    std::fprintf(stderr, "mirelcon: the window needs a display; give a file to convert on the command line.\n");
    return ExitBadParameters;
  }
  TTerminalHost host(stdout, stderr);
  const TCommandLine cl = ParseCommandLine(params);
  for (const WideString& type : cl.PropTypes) host.PropTypeList().Add(type);
  return RunCommandLine(host, params);
}
