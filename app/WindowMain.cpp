// The window's run, in the module that the program loads when a display answers. The module is a
// world of its own (its copy of the core, its SQLite functions, its sound output, its message
// hooks), so it repeats the set-up that the executable made for itself.
#include <QApplication>
#include <vector>

#include "app/WindowModule.h"
#include "app/gui/FormTessaly.h"
#include "base/MySysUtils.h"
#include "platform/core/Files.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Graphics.h"
#include "tm/sqlite/SQLiteTable3.h"
#include "unicode/gui/UniForms.h"

extern "C" __attribute__((visibility("default"))) int MirelconWindowMain(int argc, char** argv) {
  LoadSQLiteLibrary();
  static TDeviceSoundOutput sound;
  SetSoundOutput(&sound);
  std::vector<WideString> params;
  for (int i = 1; i < argc; ++i) params.push_back(platform::NameFromNative(argv[i]));

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
