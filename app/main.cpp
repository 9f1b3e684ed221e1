// The program's entry: the window when there is a display, else the command line on the terminal.
#include <QApplication>
#include <cstdio>
#include <vector>

#include "app/core/TerminalHost.h"
#include "app/gui/FormTessaly.h"
#include "base/MySysUtils.h"
#include "platform/core/Display.h"
#include "platform/core/Utf8.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Graphics.h"
#include "unicode/gui/UniForms.h"
#include "tm/sqlite/SQLiteTable3.h"

int main(int argc, char** argv) {
  LoadSQLiteLibrary();
  static TDeviceSoundOutput sound;
  SetSoundOutput(&sound);
  std::vector<WideString> params;
  for (int i = 1; i < argc; ++i) params.push_back(platform::Utf8ToUtf16(argv[i]));

  // A display that is set but cannot be reached counts as none: the toolkit would abort on it.
  if (!platform::DisplayReachable(platform::DisplaySettingsFromEnvironment())) {
    if (params.empty()) {
      std::fprintf(stderr, "mirelcon: the window needs a display; give a file to convert on the command line.\n");
      return ExitBadParameters;
    }
    TTerminalHost host(stdout, stderr);
    return RunCommandLine(host, params);
  }

  QApplication app(argc, argv);
  // Before the first window: a widget that resolved its face before the faces were known keeps
  // the fallback face.
  UseProgramFonts();
  platform::ShowMessagesInBoxes();
  UniApplication().SetTitle(ApplicationTitle);
  // The program ends when its window closes, not when a message box closes over a hidden one.
  QApplication::setQuitOnLastWindowClosed(false);
  TFormTessaly form(params);
  QObject::connect(&form, &TFormTessaly::FormClosed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  form.show();
  app.exec();
  if (params.empty()) return ExitOk;
  // A loop that ended before the run did has converted nothing.
  return form.ExitStatus() < 0 ? ExitFileFailed : form.ExitStatus();
}
