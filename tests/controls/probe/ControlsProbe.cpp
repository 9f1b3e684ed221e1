// A window of the control units for the real-display suite: the suite starts it on its own X
// server, types into it through the server and reads its pixels back; what the controls did is
// written one line at a time to the log file named first.
//   controls_probe LOG button CAPTION   a button linked to an action captioned CAPTION, and a
//                                       button "&Mark" that marks the log when Alt+M reaches it
//   controls_probe LOG combo STYLE ITEM...  a combo box of the style named (csSimple,
//                                       csOwnerDrawFixed ...) at (20, 20), focused, that logs
//                                       "select INDEX TEXT" when a typed key chooses an item
//   controls_probe LOG pick STYLE ITEM...   the same with AutoDropDown on, logging "click INDEX"
//                                       too, so that what follows a choice shows in its order
//   controls_probe LOG actions          a button "&Button" at (20, 20), a check box "&Check" at
//                                       (20, 60) and a radio button "&Radio" at (20, 100), each
//                                       linked to an action of its own that logs "run KIND", and
//                                       a radio button "&Other" at (150, 100) that logs "other"
//   controls_probe LOG hints HINT...     a button per hint, 30 pixels high, one below the other
//                                       from (20, 10), each with that hint
//   controls_probe LOG menu             a popup menu of the window, shown by a right click:
//                                       "&Open" (Ctrl+O, logs "open"), "Off" (disabled, Ctrl+D),
//                                       a separator, "C", "Sub" with "Inner" (Ctrl+I, logs
//                                       "inner"), and "Run it", the entry of an action (Ctrl+R,
//                                       logs "run") that the button at (20, 20) is linked to too;
//                                       each with the hint "X|LongX". Every hint the application
//                                       publishes is logged as "hint [TEXT]"; a menu as it shows
//                                       logs "entry CAPTION X Y W H" for each of its entries, in
//                                       the menu's coordinates, then "menu N" (N entries)
//   controls_probe LOG hotkeys          buttons "&Save" (20, 20), "&Send" (20, 60) and "&Mark"
//                                       (20, 100), each logging its name in lower case
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "platform/gui/Graphics.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniButtons.h"
#include "unicode/gui/UniControls.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniMenus.h"
#include "unicode/gui/UniStdCtrls.h"

namespace {

const char* g_log = nullptr;

void Log(const std::string& line) {
  if (FILE* f = std::fopen(g_log, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

WideString Wide(const char* utf8) { return QString::fromUtf8(utf8).toStdU16String(); }
std::string Utf8(const WideString& s) { return QString::fromStdU16String(s).toStdString(); }

// Logs where each entry of menu lies once it shows.
void LogEntries(QMenu* menu) {
  QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
    QTimer::singleShot(0, menu, [menu] {
      const QList<QAction*> entries = menu->actions();
      for (QAction* entry : entries) {
        const QRect r = menu->actionGeometry(entry);
        const std::string caption = entry->isSeparator() ? "-" : entry->text().section(u'\t', 0, 0).toStdString();
        Log("entry " + caption + " " + std::to_string(r.x()) + " " + std::to_string(r.y()) + " " +
            std::to_string(r.width()) + " " + std::to_string(r.height()));
      }
      Log("menu " + std::to_string(entries.size()));
    });
  });
}

void MakeMenuWindow(QWidget& window, TUniAction& run) {
  UniApplication().OnHint = [](QObject*) { Log("hint [" + Utf8(UniApplication().Hint()) + "]"); };
  run.SetCaption(u"Run it");
  run.SetHint(u"Run it|LongRun");
  run.SetShortCut((Qt::CTRL | Qt::Key_R).toCombined());
  run.OnExecute = [](QObject*) { Log("run"); };
  auto* button = new TUniButton(&window);
  button->setGeometry(20, 20, 120, 30);
  UniControl_SetAction(button, &run);
  auto* menu = new TPopupMenu(&window);
  const auto add = [](TMenuItem* parent, const char16_t* caption, const char16_t* name, QKeyCombination key = {}) {
    auto* item = new TUniMenuItem;
    item->SetCaption(caption);
    item->SetHint(WideString(name) + u"|Long" + name);
    item->SetShortCut(key.toCombined());
    const std::string logged = QString::fromStdU16String(name).toLower().toStdString();
    item->OnClick = [logged](QObject*) { Log(logged); };
    parent->Add(item);
    return item;
  };
  add(menu->Items(), u"&Open", u"Open", Qt::CTRL | Qt::Key_O);
  add(menu->Items(), u"Off", u"Off", Qt::CTRL | Qt::Key_D)->SetEnabled(false);
  add(menu->Items(), u"-", u"");
  add(menu->Items(), u"C", u"C");
  TUniMenuItem* sub = add(menu->Items(), u"Sub", u"Sub");
  add(sub, u"Inner", u"Inner", Qt::CTRL | Qt::Key_I);
  auto* runItem = new TUniMenuItem;
  menu->Items()->Add(runItem);
  runItem->SetAction(&run);
  LogEntries(menu->Menu());
  LogEntries(sub->MenuAction()->menu());
  window.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&window, &QWidget::customContextMenuRequested, &window, [menu, &window](const QPoint& pos) {
    const QPoint at = window.mapToGlobal(pos);
    menu->Popup(at.x(), at.y());
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  UseProgramFonts();
  if (argc < 3) return 2;
  g_log = argv[1];
  const std::string mode = argv[2];
  QWidget window;
  window.setWindowTitle(QStringLiteral("probe"));
  window.setFixedSize(240, 160);
  TUniAction action;
  if ((mode == "button" || mode == "combo" || mode == "pick") && argc < 4) return 2;
  if (mode == "button") {
    auto* button = new TUniButton(&window);
    button->setGeometry(20, 20, 120, 30);
    button->OnClick = [](QObject*) { Log("click"); };
    action.SetCaption(Wide(argv[3]));
    UniControl_SetAction(button, &action);
    auto* mark = new TUniButton(&window);
    mark->setGeometry(20, 70, 120, 30);
    mark->OnClick = [](QObject*) { Log("mark"); };
    mark->SetCaption(u"&Mark");
  } else if (mode == "actions") {
    static const char* const kinds[] = {"button", "check", "radio"};
    static const char16_t* const captions[] = {u"&Button", u"&Check", u"&Radio"};
    static TUniAction actions[3];
    for (int i = 0; i < 3; ++i) {
      QAbstractButton* control = i == 0   ? static_cast<QAbstractButton*>(new TUniButton(&window))
                                 : i == 1 ? static_cast<QAbstractButton*>(new TUniCheckBox(&window))
                                          : new TUniRadioButton(&window);
      control->setGeometry(20, 20 + 40 * i, 120, 30);
      const std::string kind = kinds[i];
      actions[i].SetCaption(captions[i]);
      actions[i].OnExecute = [kind](QObject*) { Log("run " + kind); };
      UniControl_SetAction(control, &actions[i]);
    }
    auto* other = new TUniRadioButton(&window);
    other->setGeometry(150, 100, 80, 30);
    other->SetCaption(u"&Other");
    other->OnClick = [](QObject*) { Log("other"); };
  } else if (mode == "menu") {
    MakeMenuWindow(window, action);
  } else if (mode == "hotkeys") {
    static const char16_t* const captions[] = {u"&Save", u"&Send", u"&Mark"};
    for (int i = 0; i < 3; ++i) {
      auto* button = new TUniButton(&window);
      button->setGeometry(20, 20 + 40 * i, 120, 30);
      button->SetCaption(captions[i]);
      const std::string name = QString::fromStdU16String(captions[i]).mid(1).toLower().toStdString();
      button->OnClick = [name](QObject*) { Log(name); };
    }
  } else if (mode == "hints") {
    for (int i = 3; i < argc; ++i) {
      auto* button = new TUniButton(&window);
      button->setGeometry(20, 10 + 35 * (i - 3), 120, 30);
      button->SetCaption(u"Hint " + Wide(std::to_string(i - 2).c_str()));
      UniControl_SetHint(button, Wide(argv[i]));
    }
  } else if (mode == "combo" || mode == "pick") {
    const std::string name = argv[3];
    const std::pair<const char*, TComboBoxStyle> styles[] = {{"csDropDown", csDropDown},
                                                             {"csSimple", csSimple},
                                                             {"csDropDownList", csDropDownList},
                                                             {"csOwnerDrawFixed", csOwnerDrawFixed},
                                                             {"csOwnerDrawVariable", csOwnerDrawVariable}};
    auto* combo = new TUniComboBox(&window);
    for (const auto& [styleName, style] : styles)
      if (name == styleName) combo->SetStyle(style);
    combo->setGeometry(20, 20, 200, combo->Style() == csSimple ? 110 : 24);
    for (int i = 4; i < argc; ++i) combo->Items().Add(Wide(argv[i]));
    combo->OnSelect = [combo](QObject*) {
      Log("select " + std::to_string(combo->ItemIndex()) + " " + QString::fromStdU16String(combo->Text()).toStdString());
    };
    if (mode == "pick") {
      combo->AutoDropDown = true;
      combo->OnClick = [combo](QObject*) { Log("click " + std::to_string(combo->ItemIndex())); };
    }
    combo->setFocus();
  } else {
    return 2;
  }
  window.show();
  Log("shown");
  return app.exec();
}
